// The program's folders on Linux: the per-user XDG folders.
#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "common/paths_os.h"

namespace {

const char* const kAppFolder = "/varnek-test";

std::string WithoutTrailingSlashes(std::string path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
  return path;
}

std::string HomeDir() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

// The folder an XDG variable names, else its default under the home folder.
// A relative path in the variable is invalid and ignored, as the XDG base
// directory rules say.
std::string XdgDir(const char* variable, const char* defaultUnderHome) {
  const char* value = std::getenv(variable);
  const bool valid = value && value[0] == '/';
  return WithoutTrailingSlashes(valid ? value : HomeDir()) + (valid ? "" : defaultUnderHome) + kAppFolder;
}

}  // namespace

const char paths_os::kSeparator = '/';
const char* const paths_os::kInstalledMarker = "../share/applications/varnek-test.desktop";

std::string paths_os::ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string paths_os::UserConfigDir() { return XdgDir("XDG_CONFIG_HOME", "/.config"); }

std::string paths_os::UserDataDir() { return XdgDir("XDG_DATA_HOME", "/.local/share"); }

bool paths_os::DirWritable(const std::string& dir) { return ::access(dir.c_str(), W_OK) == 0; }

bool paths_os::Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
