#pragma once
// Where the program keeps its files. "Beside the executable" is the
// executable's directory when it is writable (portable use, the build tree);
// otherwise, and always for an installed program, the per-user XDG directories.

#include <string>
#include <vector>

// Full path cfg.ini is saved to.
std::string ConfigFilePath();
// Full path cfg.ini is read from: the saved one, except beside a read-only
// executable while the per-user file does not exist yet.
std::string ConfigLoadPath();
// Directory of the CSV logs (not created here).
std::string LogsDirPath();
// Directory of the firmware backups, placed as the logs are (not created here).
std::string BackupsDirPath();
// Every place Loader.dat is looked for, in order: beside the executable (also
// when that folder is read-only), then the XDG data directory.
std::vector<std::string> LoaderSearchPaths();
// The first of those places that holds Loader.dat; the first place when none does.
std::string LoaderFilePath();
// dir/stem + ext, or dir/stem-2 + ext, -3 ... when that file exists: a new
// file never replaces one the program wrote before.
std::string UnusedFilePath(const std::string& dir, const std::string& stem, const std::string& ext);
// Overrides the directory used as "beside the executable" (tests, demo);
// readOnly treats it as not writable (tests run as root, who may write anywhere).
void SetAppDirOverride(const std::string& dir, bool readOnly = false);
