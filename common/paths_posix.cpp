// The program's folders on Linux: the per-user XDG folders.
#include <unistd.h>

#include <QStandardPaths>
#include <climits>

#include "common/paths_os.h"

namespace {

const char* const kAppFolder = "/varnek-test";

std::string XdgDir(QStandardPaths::StandardLocation where) {
  return QStandardPaths::writableLocation(where).toStdString() + kAppFolder;
}

}  // namespace

const char paths_os::kSeparator = '/';

std::string paths_os::ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string paths_os::UserConfigDir() { return XdgDir(QStandardPaths::GenericConfigLocation); }

std::string paths_os::UserDataDir() { return XdgDir(QStandardPaths::GenericDataLocation); }

bool paths_os::DirWritable(const std::string& dir) { return ::access(dir.c_str(), W_OK) == 0; }

bool paths_os::Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
