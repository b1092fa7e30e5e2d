// The port list on Windows: the system's serial device map, filled here by
// scripts/windows.sh through Wine's port mapping with COM1, COM2, COM10 and
// COM11.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/portlist.h"
#include "link/port.h"

namespace {

TEST(PortListTest, DeviceMapPortsComeSortedAndOpen) {
  if (!std::getenv("VARNEK_SIM_PORTS")) GTEST_SKIP() << "needs the ports scripts/windows.sh maps";
  // Wine adds ports of its own for the host's serial devices; only ours are
  // known to open.
  const std::vector<std::string> ours = {"COM1", "COM10", "COM11", "COM2"};
  std::vector<std::string> listed;
  for (const std::string& name : ListSerialPorts())
    if (std::find(ours.begin(), ours.end(), name) != ours.end()) listed.push_back(name);
  EXPECT_EQ(listed, ours);  // in this order: without regard to numbers
  for (const std::string& name : listed) {
    PortId id = kNoPort;
    EXPECT_NO_THROW(id = OpenPortDevice(name)) << name;
    ClosePortHandle(id);
  }
}

TEST(PortListTest, AbsentPortRaisesTheOpenErrorNamingItsDevice) {
  try {
    OpenPortDevice("COM199");
    ADD_FAILURE() << "COM199 opened";
  } catch (const EcuError& e) {
    EXPECT_STREQ(e.what(), "Ошибка открытия порта COM199: нет такого устройства");
    EXPECT_NE(e.detail().find("\\\\.\\COM199"), std::string::npos) << e.detail();
  }
}

}  // namespace
