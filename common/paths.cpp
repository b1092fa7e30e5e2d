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

// An installed program (its menu entry lies in ../share/applications) never
// keeps files in its own folder, even when root can write there: they would
// outlive the package.
bool Installed(const std::string& dir) {
  return paths_os::Exists(Join(dir, "../share/applications/varnek-test.desktop"));
}

bool KeepsFilesBeside(const std::string& dir) { return paths_os::DirWritable(dir) && !Installed(dir); }

// A folder of the program's own files: beside the executable when writable,
// else in the per-user data directory.
std::string DataFolderPath(const char* name) {
  const std::string dir = AppDir();
  if (KeepsFilesBeside(dir)) return Join(dir, name);
  return Join(paths_os::UserDataDir(), name);
}

}  // namespace

std::string ConfigFilePath() {
  const std::string dir = AppDir();
  if (KeepsFilesBeside(dir)) return Join(dir, "cfg.ini");
  return Join(paths_os::UserConfigDir(), "cfg.ini");
}

std::string LogsDirPath() { return DataFolderPath("Logs"); }

std::string BackupsDirPath() { return DataFolderPath("Backups"); }

std::vector<std::string> LoaderSearchPaths() {
  return {Join(AppDir(), "Loader.dat"), Join(paths_os::UserDataDir(), "Loader.dat")};
}

std::string LoaderFilePath() {
  const std::vector<std::string> places = LoaderSearchPaths();
  for (const std::string& place : places)
    if (paths_os::Exists(place)) return place;
  return places.front();
}

void SetAppDirOverride(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = dir;
}
