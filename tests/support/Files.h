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

// A fresh folder under /tmp, removed with everything in it; optionally the
// working folder while it lives (the program keeps Port.cfg and its COMn
// links there).
struct TempDir {
  std::filesystem::path path, old;
  explicit TempDir(bool enter = false) {
    char t[] = "/tmp/kt-test-XXXXXX";
    path = mkdtemp(t);
    if (enter) {
      old = std::filesystem::current_path();
      std::filesystem::current_path(path);
    }
  }
  ~TempDir() {
    std::error_code ec;
    if (!old.empty()) std::filesystem::current_path(old, ec);
    std::filesystem::remove_all(path, ec);
  }
  std::string File(const std::string& name) const { return (path / name).string(); }
};

inline std::vector<std::uint8_t> ReadBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline std::string ReadText(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

template <typename Bytes>
void WriteBytes(const std::string& file, const Bytes& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::int32_t IntAt(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                   (static_cast<std::uint32_t>(b[at + 3]) << 24));
}
inline float FloatAt(const std::vector<std::uint8_t>& b, std::size_t at) {
  const auto u = static_cast<std::uint32_t>(IntAt(b, at));
  float f;
  std::memcpy(&f, &u, 4);
  return f;
}
inline std::string TextAt(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(b.data() + at),
                     strnlen(reinterpret_cast<const char*>(b.data() + at), size));
}

}  // namespace kt::test
