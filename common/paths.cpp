#include "common/paths.h"

#include <mutex>

#include "common/paths_os.h"

namespace {

struct AppDirOverride {
  std::mutex mutex;
  std::string dir;
  bool readOnly = false;
};
// Process-wide: where the program keeps its files is one choice for the
// process; tests point it at a folder of their own.
AppDirOverride g_override;

std::string AppDir() {
  {
    std::lock_guard<std::mutex> lock(g_override.mutex);
    if (!g_override.dir.empty()) return g_override.dir;
  }
  return paths_os::ExecutableDir();
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty() || dir.back() == '/' || dir.back() == paths_os::kSeparator) return dir + name;
  return dir + paths_os::kSeparator + name;
}

bool Writable(const std::string& dir) {
  {
    std::lock_guard<std::mutex> lock(g_override.mutex);
    if (!g_override.dir.empty() && dir == g_override.dir && g_override.readOnly) return false;
  }
  return paths_os::DirWritable(dir);
}

// An installed program never keeps files in its own folder, even when root
// or an administrator can write there: they would outlive the package.
bool Installed(const std::string& dir) { return paths_os::Exists(Join(dir, paths_os::kInstalledMarker)); }

bool KeepsFilesBeside(const std::string& dir) { return Writable(dir) && !Installed(dir); }

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

std::string ConfigLoadPath() {
  const std::string dir = AppDir();
  const std::string saved = ConfigFilePath();
  // A program in a folder the user cannot write may come with its cfg.ini
  // there: it is used until the user's own copy exists.
  if (KeepsFilesBeside(dir) || paths_os::Exists(saved)) return saved;
  return Join(dir, "cfg.ini");
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

std::string UnusedFilePath(const std::string& dir, const std::string& stem, const std::string& ext) {
  std::string path = Join(dir, stem + ext);
  for (int n = 2; paths_os::Exists(path); ++n) path = Join(dir, stem + "-" + std::to_string(n) + ext);
  return path;
}

void SetAppDirOverride(const std::string& dir, bool readOnly) {
  std::lock_guard<std::mutex> lock(g_override.mutex);
  g_override.dir = dir;
  g_override.readOnly = readOnly;
}
