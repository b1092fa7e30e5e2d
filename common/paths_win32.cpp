// The program's folders on Windows: the user's roaming application data
// (%APPDATA%) when the executable's folder is not writable, as under
// Program Files. Paths are UTF-8 here and wide towards the system.
#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <cwchar>
#include <string>

#include "common/paths_os.h"
#include "common/wide_win32.h"

namespace {

std::string AppDataDir() {
  if (const wchar_t* env = _wgetenv(L"APPDATA"); env && *env) return Utf8(env) + "\\Varnek Test";
  wchar_t buf[MAX_PATH] = {};
  if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf)))
    return Utf8(buf) + "\\Varnek Test";
  return "Varnek Test";
}

}  // namespace

const char paths_os::kSeparator = '\\';
const char* const paths_os::kInstalledMarker = "uninstall.exe";

std::string paths_os::ExecutableDir() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return ".";
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);
  }
  const auto slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? "." : Utf8(path.substr(0, slash));
}

std::string paths_os::UserConfigDir() { return AppDataDir(); }

std::string paths_os::UserDataDir() { return AppDataDir(); }

bool paths_os::DirWritable(const std::string& dir) {
  // Access rights and UAC decide, not the read-only attribute: try a file.
  const std::wstring probe = Wide(dir) + L"\\.varnek-write-test";
  HANDLE h = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return true;
  }
  // A probe left behind by a crash still proves the folder writable.
  return GetLastError() == ERROR_FILE_EXISTS;
}

bool paths_os::Exists(const std::string& path) {
  return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
