// The port list on Windows: the system's serial device map, where each value
// names one port ("\Device\Serial0" = "COM1").
#include <windows.h>

#include "common/error.h"
#include "common/portlist_os.h"

namespace {

[[noreturn]] void Fail(const std::string& call, LONG rc) {
  throw EcuError(portlist_os::kPortListError, call + " failed with error " + std::to_string(rc));
}

struct Key {
  HKEY key = nullptr;
  ~Key() {
    if (key) RegCloseKey(key);
  }
};

}  // namespace

std::vector<std::string> portlist_os::PresentPorts(const PortListRoots& /*roots*/) {
  Key map;
  LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &map.key);
  // Windows creates the key with the first port: none present is no error.
  if (rc == ERROR_FILE_NOT_FOUND) return {};
  if (rc != ERROR_SUCCESS) Fail("RegOpenKeyExA(HARDWARE\\DEVICEMAP\\SERIALCOMM)", rc);
  std::vector<std::string> ports;
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameLength = sizeof name;
    BYTE data[256];
    DWORD dataLength = sizeof data;
    DWORD type = 0;
    rc = RegEnumValueA(map.key, index, name, &nameLength, nullptr, &type, data, &dataLength);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc != ERROR_SUCCESS) Fail("RegEnumValueA", rc);
    if (type != REG_SZ) continue;
    std::string port(reinterpret_cast<const char*>(data), dataLength);
    while (!port.empty() && port.back() == '\0') port.pop_back();
    if (!port.empty()) ports.push_back(port);
  }
  return ports;
}
