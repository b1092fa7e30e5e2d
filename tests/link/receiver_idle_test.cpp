// A byte that arrives alone and is never followed (line noise after the
// packet stream ended) must not keep the receiver busy while it waits.

#include <time.h>

#include "ecu/kwp.h"
#include "tests/link/link_rig.h"

namespace {

double ProcessCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

class ReceiverIdle : public LinkRig {};

TEST_F(ReceiverIdle, StrayByteAfterTheStreamEndsCostsNoProcessorTime) {
  StartLine();
  Connect(2);
  ASSERT_TRUE(WaitSession());
  SendRequest(ReqUnidirectionalMode);
  ASSERT_TRUE(WaitFor([] { return UnidirMode.load() == 1; }));
  ASSERT_TRUE(WaitFor([&] { return ecu->PacketsSent() >= 3; }));
  ecu->StopStream();
  QTest::qWait(100);
  // Half a sync pair: the receiver needs a second byte that never comes.
  line->Run([&] { ecu->SendRaw({0xA5}); });
  QTest::qWait(100);
  ASSERT_EQ(UnidirMode.load(), 1);
  const double before = ProcessCpuMs();
  QTest::qWait(800);
  const double used = ProcessCpuMs() - before;
  ASSERT_EQ(UnidirMode.load(), 1) << "the stream time-out came too early for the measurement";
  // Waking every byte time (174 us at 57600 baud) costs tens of ms here.
  EXPECT_LT(used, 20.0);
}

}  // namespace
