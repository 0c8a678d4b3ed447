#include "link/PortConfig.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "link/Form.h"
#include "platform/SafeFile.h"

namespace kt {

namespace {

constexpr int ConfigBytes = 6;  // the name, its terminator and one spare byte

void SetPortName(Form& form, const char* name) {
  std::memset(form.PortName, 0, sizeof form.PortName);
  std::strncpy(form.PortName, name, sizeof form.PortName - 1);
}

}  // namespace

void ReadPortConfig(Form& form, const std::string& path) {
  // Without blocking, and a regular file only: a FIFO of that name would
  // hold the start-up before any window appears.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd);
    fd = -1;
  }
  if (fd < 0) {
    SetPortName(form, "COM2");
    WritePortConfig(form, path);
    return;
  }
  char buf[ConfigBytes + 1] = {};
  ssize_t got = 0;
  while (got < ConfigBytes) {
    const ssize_t n = ::read(fd, buf + got, static_cast<size_t>(ConfigBytes - got));
    if (n <= 0) break;
    got += n;
  }
  ::close(fd);
  // Compared as a zero-terminated string: "COM1" followed by anything but a
  // terminator is not COM1.
  if (std::strcmp(buf, "COM1") == 0 || std::strcmp(buf, "COM2") == 0) {
    SetPortName(form, buf);
  } else {
    SetPortName(form, "COM2");
    WritePortConfig(form, path);
  }
}

int WritePortConfig(Form& form, const std::string& path) {
  // A failed or short write must not pass as stored, nor spoil the old
  // file: the operator would find the other port chosen at the next start.
  if (WriteWholeFile(path, form.PortName, ConfigBytes) != 0) {
    form.host.MessageBox("存文件失败!", "警告");
    return 1;
  }
  return 0;
}

std::string DevicePathFor(const std::string& portName, const std::string& folder) {
  const std::string local = folder + "/" + portName;
  struct stat st {};
  // lstat: a link whose target is gone still names the chosen device; falling
  // back to an on-board port would talk to the wrong line.
  if (::lstat(local.c_str(), &st) == 0) return local;
  return portName == "COM1" ? "/dev/ttyS0" : "/dev/ttyS1";
}

int OpenPort(Form& form, const std::string& folder) {
  const std::string device = form.PortDevice.empty() ? DevicePathFor(form.PortName, folder) : form.PortDevice;
  if (form.port.Open(device) != 0) {
    form.host.MessageBox("打开通讯口失败！", "警告！");
    return 1;
  }
  form.Link.ExpectedCount = 1;
  return 0;
}

}  // namespace kt
