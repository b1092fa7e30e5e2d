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
  // The stream's time-out must not end the mode during the measurement,
  // however slowly a busy machine gets there.
  StopLinkTimer();
  // Sampled together on this thread: no hand-off runs in between.
  const int replies0 = ui.replyCount;
  const int sent0 = ecu->PacketsSent();
  ASSERT_TRUE(WaitFor([&] { return ecu->PacketsSent() >= sent0 + 3; }));
  ecu->StopStream();
  const int sent = ecu->PacketsSent();
  ASSERT_TRUE(WaitFor([&] { return ui.replyCount - replies0 >= sent - sent0; }));
  // Half a sync pair: the receiver needs a second byte that never comes.
  const std::uint64_t delivered = line->BytesToProgram();
  line->Run([&] { ecu->SendRaw({0xA5}); });
  ASSERT_TRUE(WaitFor([&] { return line->BytesToProgram() > delivered; }));
  ASSERT_EQ(UnidirMode.load(), 1);
  const double before = ProcessCpuMs();
  QTest::qWait(800);
  const double used = ProcessCpuMs() - before;
  ASSERT_EQ(UnidirMode.load(), 1);
  // Waking every byte time (174 us at 57600 baud) costs tens of ms here.
  EXPECT_LT(used, 20.0);
}

}  // namespace
