#include "platform/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace kt {

namespace {

bool WriteAll(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t w = ::write(fd, p, size);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    size -= static_cast<std::size_t>(w);
  }
  return true;
}

// A device or file system that has nothing to flush says so with EINVAL.
bool Flush(int fd) { return ::fsync(fd) == 0 || errno == EINVAL; }

std::string Folder(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

}  // namespace

int WriteWholeFile(const std::string& path, const void* data, std::size_t size) {
  const std::string& name = path;
  struct stat st {};
  const bool exists = ::lstat(name.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) return 1;
  if (exists && !S_ISREG(st.st_mode)) {
    const int fd = ::open(name.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return 1;
    bool ok = WriteAll(fd, data, size) && Flush(fd);
    ok = (::close(fd) == 0) && ok;
    return ok ? 0 : 1;
  }
  std::string temp = name + ".XXXXXX";
  std::vector<char> tmpl(temp.begin(), temp.end());
  tmpl.push_back('\0');
  const int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return 1;
  temp = tmpl.data();
  // As a new file would be created (mkstemp makes it private).
  ::fchmod(fd, 0644);
  bool ok = WriteAll(fd, data, size) && Flush(fd);
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temp.c_str(), name.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return 1;
  }
  // The new name itself is on the disk only once its folder is.
  if (const int dir = ::open(Folder(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return 0;
}

std::string FileNamePart(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace kt
