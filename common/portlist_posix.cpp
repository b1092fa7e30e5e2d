// The port list on Linux: the tty class in sysfs.
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/config.h"
#include "common/error.h"
#include "common/portlist.h"
#include "common/portlist_os.h"

namespace {

bool PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string LinkTarget(const std::string& path) {
  char buf[4096];
  const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

std::string BaseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The 8250 driver registers a ttyS node for every legacy slot, present or not;
// only a slot whose UART type is known has hardware behind it.
bool Has8250Hardware(const std::string& devPath) {
  const int fd = ::open(devPath.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct ss{};
  const bool ok = ::ioctl(fd, TIOCGSERIAL, &ss) == 0 && ss.type != PORT_UNKNOWN;
  ::close(fd);
  return ok;
}

bool IsRealPort(const std::string& sysRoot, const std::string& devRoot, const std::string& name) {
  const std::string sysEntry = sysRoot + "/" + name;
  struct stat st {};
  // Virtual consoles, ptmx and the like have no device behind them.
  if (::lstat((sysEntry + "/device").c_str(), &st) != 0) return false;
  const std::string devPath = devRoot + "/" + name;
  if (!PathExists(devPath)) return false;
  if (name.rfind("ttyS", 0) == 0 && BaseName(LinkTarget(sysEntry + "/device/driver")) == "serial8250")
    return Has8250Hardware(devPath);
  return true;
}

}  // namespace

std::vector<std::string> portlist_os::PresentPorts(const PortListRoots& roots) {
  const std::string& sysRoot = roots.sysClassTty;
  const std::string& devRoot = roots.devDir;
  DIR* dir = ::opendir(sysRoot.c_str());
  if (!dir)
    throw EcuError(portlist_os::kPortListError, "opendir(" + sysRoot + ") failed: " + std::strerror(errno));
  std::vector<std::string> ports;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(dir);
    if (!e) break;
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (IsRealPort(sysRoot, devRoot, name)) ports.push_back(name);
  }
  const int readError = errno;
  ::closedir(dir);
  if (readError != 0)
    throw EcuError(portlist_os::kPortListError, std::string("readdir failed: ") + std::strerror(readError));

  // The configured ports stay selectable when they exist although sysfs does
  // not list them (the simulator's pseudo-terminal links, for instance).
  for (const std::string& configured : {TCfg.Port, TCfg.LambdaPort}) {
    if (configured.empty()) continue;
    const std::string path =
        configured.find('/') != std::string::npos ? configured : devRoot + "/" + configured;
    if (PathExists(path)) ports.push_back(configured);
  }
  return ports;
}
