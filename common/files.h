#pragma once
// Files the program writes: replaced whole through a temporary file (cfg.ini,
// firmware images and their backups), or written at their end line by line
// (the CSV log). The operating system's half is files_posix.cpp and
// files_win32.cpp. Paths are UTF-8; failures are the system's error numbers as
// errno values, which FileErrorReason words for the user.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The whole file; nullopt when it cannot be read or is not a regular file.
std::optional<std::string> LoadFile(const std::string& path);

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

// A file written at its end, each Write straight to the file: what has been
// written is on the disk's way also if the program is killed right after.
// One thread at a time.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Creates the file or empties an existing one. 0 or the error number.
  int Create(const std::string& path);
  // All of bytes, or the error number (EIO when the system wrote nothing).
  int Write(std::string_view bytes);
  // Cuts the file back to its first size bytes; best effort.
  void CutTo(std::uint64_t size);
  // 0 or the error number of a late failure the system reports on closing.
  int Close();
  bool IsOpen() const { return handle_ != kClosed; }

 private:
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // the descriptor, or the Windows handle
};
