#pragma once
// The system's half of LineFile: a file handle and the few calls it needs,
// in files_posix.cpp and files_win32.cpp. Errors are errno values.

#include <cstdint>
#include <string>
#include <string_view>

namespace files_os {

using Handle = std::intptr_t;  // the descriptor, or the Windows handle
inline constexpr Handle kNoFile = -1;

enum class OpenMode {
  Truncate,   // created, or emptied when it exists
  Exclusive,  // created; EEXIST when it exists
  Existing,   // opened as it is; ENOENT when missing
};

// Opens path for writing (reading too for Existing); 0 or the error.
int Open(const std::string& path, OpenMode mode, Handle& handle);
int Size(Handle handle, std::uint64_t& size);
// All of bytes at offset, or the error (EIO when the system wrote nothing).
int WriteAt(Handle handle, std::uint64_t offset, std::string_view bytes);
int Truncate(Handle handle, std::uint64_t size);
// What was written, on the medium.
int Sync(Handle handle);
// 0 or a late failure the system reports on closing.
int Close(Handle handle);

}  // namespace files_os
