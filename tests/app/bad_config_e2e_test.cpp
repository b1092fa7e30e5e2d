// A cfg.ini with values no dialog would allow, end to end through the
// simulated adapter and ECU with the real window: the values are brought into
// range with one message, and F3 still ends the session at once.
#include <gtest/gtest.h>

#include <fstream>

#include "app/mainwindow.h"
#include "tests/link/link_rig.h"
#include "tests/support/find_child.h"

namespace {

class BadConfigEndToEnd : public LinkRig {
 protected:
  void TearDown() override {
    LinkRig::TearDown();
    w.reset();
  }
  std::unique_ptr<TfrmMain> w;
};

TEST_F(BadConfigEndToEnd, HugePauseIsBroughtIntoRangeAndF3EndsTheSessionPromptly) {
  {
    std::ofstream cfg(ConfigLoadPath(), std::ios::binary);
    cfg << "[Ecu]\r\nCBR=1\r\n[Interval]\r\nData=0\r\nScreen=-5\r\nWriterPause=65535\r\n"
           "[Lambda]\r\nPort=\xCD\xE5\xF2\r\n";
  }
  w = std::make_unique<TfrmMain>(&ui);
  Watch(w->Session());
  EXPECT_EQ(TCfg.WriterPause.load(), 200);
  EXPECT_EQ(TCfg.ScreenInterval, 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(ui.messages[0].find("WriterPause: 65535 заменено на 200"), std::string::npos) << ui.messages[0];

  StartLine();
  TCfg.Port = line->LinkPath();
  w->btnConnectClick();
  ASSERT_TRUE(WaitFor([&] { return w->Session().LinkState().load() == 1 && CountRequests(0x21) >= 2; }));
  Find<QAction>(*w, "btnDisconnect")->trigger();
  // The bound is far beyond a second, and far below one unbounded pause.
  EXPECT_TRUE(WaitFor([&] { return w->StatusText(0) == "Не подключен" && LiveWorkerCount() == 0; }, 10000));
  EXPECT_GE(CountRequests(0x82), 1);  // ended by the protocol, not by a time-out
  EXPECT_TRUE(ui.errors.empty());
}

}  // namespace
