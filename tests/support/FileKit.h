#pragma once
// Files for tests: a temporary folder, whole-file reads and writes, and
// little-endian fields read back out of a record.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace kt::test {

// A fresh folder under /tmp, removed with everything in it.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    char t[] = "/tmp/kt-test-XXXXXX";
    path = mkdtemp(t);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string File(const std::string& name) const { return (path / name).string(); }
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

template <typename Bytes>
void WriteBytes(const std::string& file, const Bytes& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
inline std::int32_t IntAt(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::int32_t>(U32At(b, at));
}
inline float FloatAt(const std::vector<std::uint8_t>& b, std::size_t at) {
  const std::uint32_t u = U32At(b, at);
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}

}  // namespace kt::test
