// The port layer against real kernel ttys, what only Linux can show: exclusive
// use, a far end that never reads, hang-ups. The tests every system runs are
// in port_line_test.cpp.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "common/error.h"
#include "common/timing.h"
#include "link/port.h"
#include "sim/sim.h"
#include "tests/support/line_fixture.h"

namespace {

class PortTest : public LineFixture {
 protected:
  sim::SimLine& MakeLine(const std::string& name, std::shared_ptr<sim::SimDevice> device = nullptr,
                         bool echo = true) {
    return AddLine(name, std::move(device), 0, echo);
  }
  PortId Open(const sim::SimLine& line, std::uint32_t baud = 10400, int stop = ONESTOPBIT,
              std::uint16_t readMul = 100) {
    return OpenLine(line, baud, stop, readMul);
  }
};

TEST_F(PortTest, PortIsExclusiveUntilClosed) {
  auto& line = MakeLine("excl");
  PortId first = Open(line);
  const PortId firstId = first;
  // Root passes TIOCEXCL; the flock must still refuse the second opener.
  EXPECT_EQ(MessageOf([&] { OpenPortDevice(line.LinkPath()); }),
            "Ошибка открытия порта " + line.LinkPath() + ": порт занят другой программой");
  ClosePortHandle(first);
  EXPECT_EQ(first, kNoPort);
  PortId again = Open(line);
  EXPECT_NE(again, kNoPort);
  EXPECT_NE(again, firstId);  // ids are never reused
}

TEST_F(PortTest, WriteThatCannotCompleteInItsTimeIsAnError) {
  // A pseudo-terminal whose far end nobody reads: its buffer fills up.
  int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string link = dir_ + "/stuck";
  ASSERT_EQ(::symlink(::ptsname(master), link.c_str()), 0);
  PortId id = OpenAndConfigurePort(link, 38400, ONESTOPBIT, 20, /*writeMultiplier=*/0);
  std::vector<std::uint8_t> big(1 << 20, 0x33);
  EXPECT_EQ(MessageOf([&] { WritePortBlocking(id, big.data(), static_cast<int>(big.size())); }),
            "Ошибка ожидания завершения записи в порт");
  ClosePortHandle(id);
  ::close(master);
}

TEST_F(PortTest, MissingPortsRaiseTheOpenError) {
  struct Case {
    std::string name;
    std::string pathInDetail;
  } cases[] = {{"ttyNoSuchPort", "/dev/ttyNoSuchPort"}, {dir_ + "/nothing", dir_ + "/nothing"}};
  for (const auto& c : cases) {
    try {
      OpenPortDevice(c.name);
      ADD_FAILURE() << c.name << " opened";
    } catch (const EcuError& e) {
      EXPECT_EQ(e.what(), "Ошибка открытия порта " + c.name + ": нет такого устройства");
      EXPECT_NE(e.detail().find(c.pathInDetail), std::string::npos) << e.detail();
    }
  }
}

TEST_F(PortTest, RefusedPermissionTellsWhichGroupToJoin) {
  // A tty of the group dialout, opened by a user outside it (root is never
  // refused, so a child process gives up root first).
  const group* dialout = ::getgrnam("dialout");
  if (::geteuid() != 0 || !dialout) GTEST_SKIP() << "needs root and the group dialout";
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(::grantpt(master), 0);
  ASSERT_EQ(::unlockpt(master), 0);
  const std::string tty = ::ptsname(master);
  ASSERT_EQ(::chown(tty.c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(::chmod(tty.c_str(), 0660), 0);
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipeFds[0]);
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
    const std::string text = MessageOf([&] { OpenPortDevice(tty); });
    [[maybe_unused]] auto n = ::write(pipeFds[1], text.data(), text.size());
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  std::string text;
  char buf[1024];
  for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;)
    text.append(buf, static_cast<std::size_t>(n));
  ::close(pipeFds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(master);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(text.rfind("Ошибка открытия порта " + tty + ": нет прав доступа", 0), 0u) << text;
  EXPECT_NE(text.find("группу «dialout»"), std::string::npos) << text;
  EXPECT_NE(text.find("usermod -aG dialout"), std::string::npos) << text;
  EXPECT_NE(text.find("войти снова"), std::string::npos) << text;
}

TEST_F(PortTest, HangUpFailsTheWaitWithoutSpinning) {
  auto& line = MakeLine("hangup");
  PortId id = Open(line);
  std::atomic<int> calls{0};
  std::atomic<bool> stop{false};
  std::atomic<std::int64_t> cpuNs{0};
  std::thread receiver([&] {
    // The receiver's loop: a failed wait ends the pass, then it waits again.
    while (!stop) {
      WaitRxChar(id);
      ++calls;
    }
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    cpuNs = ts.tv_sec * 1'000'000'000LL + ts.tv_nsec;
  });
  ::usleep(20'000);  // most likely in its wait by now; if not, the wait fails at once
  line.Hangup();
  for (int i = 0; i < 10'000 && calls.load() < 1; ++i) ::usleep(1'000);
  ASSERT_GE(calls.load(), 1);  // the wait failed
  ::usleep(300'000);
  EXPECT_LE(calls.load(), 2);  // and did not turn into a loop
  std::uint8_t buf[1];
  EXPECT_EQ(MessageOf([&] { ReadPortBlocking(id, buf, 1); }), "Ошибка ожидания завершения чтения из порта");
  stop = true;
  PortId copy = id;
  ClosePortHandle(copy);  // wakes the sleeping waiter
  receiver.join();
  EXPECT_LT(cpuNs.load(), 50'000'000);  // a spinning loop would burn the whole 300 ms
}

}  // namespace
