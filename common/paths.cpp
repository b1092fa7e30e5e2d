#include "common/paths.h"

#include <unistd.h>

#include <QStandardPaths>
#include <climits>
#include <mutex>

namespace {

std::mutex g_mutex;
std::string g_override;

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

bool Writable(const std::string& dir) { return ::access(dir.c_str(), W_OK) == 0; }

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// An installed program (its menu entry lies in ../share/applications) never
// keeps files in its own folder, even when root can write there: they would
// outlive the package.
bool Installed(const std::string& dir) {
  return Exists(Join(dir, "../share/applications/varnek-test.desktop"));
}

bool KeepsFilesBeside(const std::string& dir) { return Writable(dir) && !Installed(dir); }

std::string XdgDir(QStandardPaths::StandardLocation where) {
  return QStandardPaths::writableLocation(where).toStdString() + kAppFolder;
}

// A folder of the program's own files: beside the executable when writable,
// else in the per-user data directory.
std::string DataFolderPath(const char* name) {
  const std::string dir = AppDir();
  if (KeepsFilesBeside(dir)) return Join(dir, name);
  return Join(XdgDir(QStandardPaths::GenericDataLocation), name);
}

}  // namespace

std::string ConfigFilePath() {
  const std::string dir = AppDir();
  if (KeepsFilesBeside(dir)) return Join(dir, "cfg.ini");
  return Join(XdgDir(QStandardPaths::GenericConfigLocation), "cfg.ini");
}

std::string LogsDirPath() { return DataFolderPath("Logs"); }

std::string BackupsDirPath() { return DataFolderPath("Backups"); }

std::vector<std::string> LoaderSearchPaths() {
  return {Join(AppDir(), "Loader.dat"), Join(XdgDir(QStandardPaths::GenericDataLocation), "Loader.dat")};
}

std::string LoaderFilePath() {
  const std::vector<std::string> places = LoaderSearchPaths();
  for (const std::string& place : places)
    if (Exists(place)) return place;
  return places.front();
}

void SetAppDirOverride(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_override = dir;
}
