#include "common/portlist.h"

#include <algorithm>
#include <cctype>

#include "common/portlist_os.h"

namespace {

bool LessNoCase(const std::string& a, const std::string& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const int ca = std::tolower(static_cast<unsigned char>(a[i]));
    const int cb = std::tolower(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

}  // namespace

std::vector<std::string> ListSerialPorts(const PortListRoots& roots) {
  std::vector<std::string> ports = portlist_os::PresentPorts(roots);
  std::sort(ports.begin(), ports.end(), LessNoCase);
  ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
  return ports;
}
