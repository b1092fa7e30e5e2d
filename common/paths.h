#pragma once
// Where the program keeps its files. "Beside the executable" is the
// executable's directory when it is writable (portable use, the build tree);
// otherwise the per-user XDG directories.

#include <string>

// Full path cfg.ini is saved to.
std::string ConfigFilePath();
// Full path cfg.ini is read from: the saved one, except beside a read-only
// executable while the per-user file does not exist yet.
std::string ConfigLoadPath();
// Directory of the CSV logs (not created here).
std::string LogsDirPath();
// Full path of Loader.dat: beside the executable first (also when that folder
// is read-only), then the XDG data directory.
std::string LoaderFilePath();
// Overrides the directory used as "beside the executable" (tests, demo);
// readOnly treats it as not writable (tests run as root, who may write anywhere).
void SetAppDirOverride(const std::string& dir, bool readOnly = false);
