#pragma once
// Where the program keeps its files. "Beside the executable" is the
// executable's directory when it is writable (portable use, the build tree);
// otherwise the per-user XDG directories.

#include <string>

// Full path of cfg.ini.
std::string ConfigFilePath();
// Directory of the CSV logs (not created here).
std::string LogsDirPath();
// Directory of the firmware backups, placed as the logs are (not created here).
std::string BackupsDirPath();
// Full path of Loader.dat: beside the executable first (also when that folder
// is read-only), then the XDG data directory.
std::string LoaderFilePath();
// Overrides the directory used as "beside the executable" (tests, demo).
void SetAppDirOverride(const std::string& dir);
