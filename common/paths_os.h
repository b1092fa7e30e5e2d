#pragma once
// The operating system's half of the program's folders (paths_posix.cpp,
// paths_win32.cpp). Paths are UTF-8.

#include <string>

namespace paths_os {

// Separator of path components.
extern const char kSeparator;
// A file, relative to the executable's folder, that only an installation
// puts there: the menu entry in ../share/applications on Linux, the
// installer's uninstall.exe on Windows.
extern const char* const kInstalledMarker;
// The folder of the running executable.
std::string ExecutableDir();
// The per-user folders used when the executable's folder is not writable:
// for cfg.ini, and for the logs and Loader.dat.
std::string UserConfigDir();
std::string UserDataDir();
// True when files can be created in dir.
bool DirWritable(const std::string& dir);
bool Exists(const std::string& path);

}  // namespace paths_os
