#include "platform/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

int WriteWholeFile(const std::string& path, const void* data, std::size_t size, WriteFailure* why) {
  WriteFailure failure;
  const auto fail = [&](bool atReplace) {
    failure.Errno = errno != 0 ? errno : EIO;
    failure.AtReplace = atReplace;
    if (why) *why = failure;
    return 1;
  };
  errno = 0;
  struct stat st {};
  const bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    errno = ELOOP;
    return fail(false);
  }
  if (exists && !S_ISREG(st.st_mode)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return fail(false);
    const bool ok = WriteAll(fd, data, size) && Flush(fd);
    const int err = errno;
    if (::close(fd) != 0 || !ok) {
      if (!ok) errno = err;
      return fail(false);
    }
    return 0;
  }
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return fail(false);
  // mkstemp makes the file private; the replacement is as readable as the
  // file it replaces, and a new file as one the program would create.
  ::fchmod(fd, exists ? (st.st_mode & 07777) : 0644);
  const bool ok = WriteAll(fd, data, size) && Flush(fd);
  const int err = errno;
  if (::close(fd) != 0 || !ok) {
    if (!ok) errno = err;
    const int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return fail(false);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int saved = errno;
    ::unlink(temp.c_str());
    errno = saved;
    return fail(true);
  }
  // The new name itself is on the disk only once its folder is.
  if (const int dir = ::open(Folder(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
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
