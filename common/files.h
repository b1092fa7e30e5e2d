#pragma once
// Files the program replaces whole through a temporary file (cfg.ini,
// firmware images and their backups); files written line by line are
// LineFile's (linefile.h). The operating system's half is files_posix.cpp and
// files_win32.cpp. Paths are UTF-8; failures are the system's error numbers as
// errno values, which FileErrorReason words for the user.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The whole file; nullopt when it cannot be read or is not a regular file,
// with the reason in *error when given (EISDIR for a folder).
std::optional<std::string> LoadFile(const std::string& path, int* error = nullptr);

// Replaces the file at path with bytes: they go to a temporary file beside it,
// <name>.varnek-tmp-<process id>, which is flushed to the disk and then
// renamed over it, so a kill or a power cut leaves either the old file or the
// new one. A linked file stays a link (its target is replaced) and keeps its
// permissions; temporaries left by a program killed while saving are removed
// first. Where no temporary can be created (a folder without write access), an
// existing writable file is rewritten in place. Returns 0 or the error number.
int ReplaceWholeFile(const std::string& path, std::string_view bytes);

// Marks the program's own temporaries, so that a leftover is never confused
// with a file of the user's (cfg.ini.backup, cfg.ini.old ...).
inline constexpr const char* kTempFileInfix = ".varnek-tmp-";
