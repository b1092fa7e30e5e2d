// Replacing and appending files on Windows: handles, FlushFileBuffers and
// MoveFileEx. The system's errors are handed on as errno values.
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "common/files.h"
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

int AppendFile::Create(const std::string& path) {
  Close();
  HANDLE h = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastErrno();
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return 0;
}

int AppendFile::Write(std::string_view bytes) {
  if (!IsOpen()) return EBADF;
  return WriteAll(reinterpret_cast<HANDLE>(handle_), bytes);
}

void AppendFile::CutTo(std::uint64_t size) {
  if (!IsOpen()) return;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  if (SetFilePointerEx(h, at, nullptr, FILE_BEGIN)) SetEndOfFile(h);
}

int AppendFile::Close() {
  if (!IsOpen()) return 0;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  handle_ = kClosed;
  return CloseHandle(h) ? 0 : LastErrno();
}
