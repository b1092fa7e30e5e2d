#include "common/paths.h"

#include <unistd.h>

#include <QStandardPaths>
#include <climits>
#include <mutex>

namespace {

std::mutex g_mutex;
std::string g_override;
bool g_overrideReadOnly = false;

const char* const kAppFolder = "/varnek-test";

std::string ExecutableDir() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<std::size_t>(n));
  const auto slash = path.rfind('/');
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string AppDir() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_override.empty()) return g_override;
  }
  return ExecutableDir();
}

std::string Join(const std::string& dir, const std::string& name) {
  return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool Writable(const std::string& dir) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_override.empty() && dir == g_override && g_overrideReadOnly) return false;
  }
  return ::access(dir.c_str(), W_OK) == 0;
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::string XdgDir(QStandardPaths::StandardLocation where) {
  return QStandardPaths::writableLocation(where).toStdString() + kAppFolder;
}

}  // namespace

std::string ConfigFilePath() {
  const std::string dir = AppDir();
  if (Writable(dir)) return Join(dir, "cfg.ini");
  return Join(XdgDir(QStandardPaths::GenericConfigLocation), "cfg.ini");
}

std::string ConfigLoadPath() {
  const std::string dir = AppDir();
  const std::string saved = ConfigFilePath();
  // An installed program may ship its cfg.ini in a folder the user cannot
  // write: it is used until the user's own copy exists.
  if (Writable(dir) || Exists(saved)) return saved;
  return Join(dir, "cfg.ini");
}

std::string LogsDirPath() {
  const std::string dir = AppDir();
  if (Writable(dir)) return Join(dir, "Logs");
  return Join(XdgDir(QStandardPaths::GenericDataLocation), "Logs");
}

std::string LoaderFilePath() {
  const std::string beside = Join(AppDir(), "Loader.dat");
  if (Exists(beside)) return beside;
  const std::string data = Join(XdgDir(QStandardPaths::GenericDataLocation), "Loader.dat");
  // When neither exists the error names the place a portable install uses.
  return Exists(data) ? data : beside;
}

void SetAppDirOverride(const std::string& dir, bool readOnly) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = dir;
  g_overrideReadOnly = readOnly;
}
