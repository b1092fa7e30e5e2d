// Replacing files and writing line files on Windows: handles, FlushFileBuffers and
// MoveFileEx. The system's errors are handed on as errno values.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "common/files.h"
#include "common/files_os.h"
#include "common/wide_win32.h"

namespace {

int ErrnoOf(DWORD err) {
  switch (err) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EACCES;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
      return ENOENT;
    default:
      return EIO;
  }
}

int LastErrno() { return ErrnoOf(GetLastError()); }

int WriteAll(HANDLE h, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 30));
    DWORD written = 0;
    if (!WriteFile(h, bytes.data() + done, chunk, &written, nullptr)) return LastErrno();
    if (written == 0) return EIO;
    done += written;
  }
  return 0;
}

bool ProcessRuns(DWORD pid) {
  HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!p) return GetLastError() == ERROR_ACCESS_DENIED;  // someone else's, running
  DWORD code = 0;
  const bool running = GetExitCodeProcess(p, &code) && code == STILL_ACTIVE;
  CloseHandle(p);
  return running;
}

// Temporaries of saves that never finished: their program was killed. One
// whose program still runs (a second window) is left to it.
void RemoveLeftoverTemps(const std::filesystem::path& target) {
  namespace fs = std::filesystem;
  const std::wstring prefix = target.filename().wstring() + Wide(kTempFileInfix);
  std::error_code ec;
  for (fs::directory_iterator it(target.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::wstring name = it->path().filename().wstring();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::wstring digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of(L"0123456789") != std::wstring::npos)
      continue;
    const DWORD pid = static_cast<DWORD>(std::stoul(digits));
    if (pid != GetCurrentProcessId() && !ProcessRuns(pid)) DeleteFileW(it->path().c_str());
  }
}

}  // namespace

int ReplaceWholeFile(const std::string& path, std::string_view bytes) {
  const std::wstring target = Wide(path);
  RemoveLeftoverTemps(std::filesystem::path(target));
  const std::wstring temp = target + Wide(kTempFileInfix) + std::to_wstring(GetCurrentProcessId());
  HANDLE h =
      CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const int tempError = LastErrno();
    HANDLE direct = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (direct == INVALID_HANDLE_VALUE) return tempError;
    const int err = WriteAll(direct, bytes);
    CloseHandle(direct);
    return err;
  }
  int err = WriteAll(h, bytes);
  if (err == 0 && !FlushFileBuffers(h)) err = LastErrno();
  CloseHandle(h);
  if (err == 0 &&
      !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    err = LastErrno();
  if (err != 0) DeleteFileW(temp.c_str());
  return err;
}

namespace files_os {

int Open(const std::string& path, OpenMode mode, Handle& handle) {
  DWORD access = GENERIC_WRITE, disposition = CREATE_ALWAYS;
  switch (mode) {
    case OpenMode::Truncate: break;
    case OpenMode::Exclusive: disposition = CREATE_NEW; break;
    case OpenMode::Existing:
      access |= GENERIC_READ;
      disposition = OPEN_EXISTING;
      break;
  }
  // Readers (a spreadsheet, the log view) may look while it grows.
  HANDLE h = CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS ? EEXIST : LastErrno();
  handle = reinterpret_cast<Handle>(h);
  return 0;
}

int Size(Handle handle, std::uint64_t& size) {
  LARGE_INTEGER s;
  if (!GetFileSizeEx(reinterpret_cast<HANDLE>(handle), &s)) return LastErrno();
  size = static_cast<std::uint64_t>(s.QuadPart);
  return 0;
}

int WriteAt(Handle handle, std::uint64_t offset, std::string_view bytes) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(reinterpret_cast<HANDLE>(handle), at, nullptr, FILE_BEGIN)) return LastErrno();
  return WriteAll(reinterpret_cast<HANDLE>(handle), bytes);
}

int Truncate(Handle handle, std::uint64_t size) {
  HANDLE h = reinterpret_cast<HANDLE>(handle);
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  return SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h) ? 0 : LastErrno();
}

int Sync(Handle handle) { return FlushFileBuffers(reinterpret_cast<HANDLE>(handle)) ? 0 : LastErrno(); }

int Close(Handle handle) { return CloseHandle(reinterpret_cast<HANDLE>(handle)) ? 0 : LastErrno(); }

}  // namespace files_os
