#include "common/paths.h"

#include <mutex>

#include "common/paths_os.h"

namespace {

std::mutex g_mutex;
std::string g_override;

std::string AppDir() {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_override.empty()) return g_override;
  }
  return paths_os::ExecutableDir();
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '/' || dir.back() == paths_os::kSeparator) return dir + name;
  return dir + paths_os::kSeparator + name;
}

}  // namespace

std::string ConfigFilePath() {
  const std::string dir = AppDir();
  if (paths_os::DirWritable(dir)) return Join(dir, "cfg.ini");
  return Join(paths_os::UserConfigDir(), "cfg.ini");
}

std::string LogsDirPath() {
  const std::string dir = AppDir();
  if (paths_os::DirWritable(dir)) return Join(dir, "Logs");
  return Join(paths_os::UserDataDir(), "Logs");
}

std::string LoaderFilePath() {
  const std::string beside = Join(AppDir(), "Loader.dat");
  if (paths_os::Exists(beside)) return beside;
  const std::string data = Join(paths_os::UserDataDir(), "Loader.dat");
  // When neither exists the error names the place a portable install uses.
  return paths_os::Exists(data) ? data : beside;
}

void SetAppDirOverride(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = dir;
}
