// Reconnecting after a lost reply, end to end through the simulated adapter
// and ECU with the real window: no box, the attempts in the status bar, the
// log going on in a new file, and the box once the attempts are used up.
#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

#include "app/mainwindow.h"
#include "ecu/csvlog.h"
#include "tests/link/link_rig.h"
#include "tests/support/find_child.h"

namespace {

class ReconnectEndToEnd : public LinkRig {
 protected:
  void SetUp() override {
    LinkRig::SetUp();
    w = std::make_unique<TfrmMain>(&ui);
    Watch(w->Session());
    // The window loaded its fallback settings; the rig's link settings apply.
    ApplyLinkSettings();
    TCfg.ScreenInterval = 0;
    TCfg.WriteLog = 1;
    TCfg.CBR = 1;
    TCfg.AutoReconnect = 1;
    // The ECU gives a session up soon once nothing comes, so an attempt made
    // after the silence starts at 10400 baud.
    ecu->SetSessionTimeoutMs(300);
    StartLine();
    TCfg.Port = line->LinkPath();
  }
  void TearDown() override {
    LinkRig::TearDown();
    w.reset();
  }

  // Waits for a session that polls; a reconnection takes its 2 s wait first.
  bool Polled(int moreRequests) {
    const int before = CountRequests(0x21);
    return WaitFor(
        [&] { return w->Session().LinkState().load() == 1 && CountRequests(0x21) >= before + moreRequests; },
        15000);
  }

  // Every line of the file ends with CR LF and has the log's 90 columns.
  static void ExpectCompleteRows(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    ASSERT_GE(s.size(), 2u);
    EXPECT_EQ(s.substr(s.size() - 2), "\r\n") << path;
    std::size_t lines = 0;
    for (std::size_t start = 0, at; (at = s.find("\r\n", start)) != std::string::npos;
         start = at + 2, ++lines)
      EXPECT_EQ(std::count(s.begin() + start, s.begin() + at, ','), 89) << path << " line " << lines;
    EXPECT_GE(lines, 2u) << path;
  }

  std::unique_ptr<TfrmMain> w;
};

TEST_F(ReconnectEndToEnd, LostReplyReconnectsAndTheLogGoesOnInANewFile) {
  w->btnConnectClick();
  ASSERT_TRUE(Polled(3));
  const std::string firstLog = w->Session().Log().FilePath();

  line->SetSilent(true);
  ASSERT_TRUE(WaitFor([&] { return w->Session().ReconnectWaiting(); }));
  EXPECT_EQ(w->StatusText(0), "Переподключение 1 из 5");
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_FALSE(w->Session().Log().IsOpen());
  line->SetSilent(false);

  // After the wait the connect command runs again and the session goes on.
  ASSERT_TRUE(Polled(3));
  EXPECT_EQ(w->StatusText(0), "Подключен");
  EXPECT_TRUE(w->Session().Log().IsOpen());
  EXPECT_NE(w->Session().Log().FilePath(), firstLog);
  const std::string secondLog = w->Session().Log().FilePath();

  // That session got data: a second loss starts counting again at 1.
  line->SetSilent(true);
  ASSERT_TRUE(WaitFor([&] { return w->Session().ReconnectWaiting(); }));
  EXPECT_EQ(w->StatusText(0), "Переподключение 1 из 5");
  Find<QAction>(*w, "btnDisconnect")->trigger();
  EXPECT_FALSE(w->Session().ReconnectWaiting());
  EXPECT_EQ(w->StatusText(0), "Не подключен");
  EXPECT_TRUE(ui.errors.empty());
  ExpectCompleteRows(firstLog);
  ExpectCompleteRows(secondLog);
}

TEST_F(ReconnectEndToEnd, FifthFailedAttemptShowsTheBox) {
  w->Session().SetReconnectDelay(50);
  w->btnConnectClick();
  ASSERT_TRUE(Polled(1));
  std::set<QString> shown;
  auto watch = [&](const std::function<bool()>& until) {
    return WaitFor([&] {
      shown.insert(w->StatusText(0));
      return until();
    });
  };
  line->SetSilent(true);
  // The first attempt meets the silent ECU: no answer to StartCommunication.
  ASSERT_TRUE(watch([&] { return w->StatusText(0) == "Переподключение 2 из 5"; }));
  EXPECT_TRUE(ui.errors.empty());
  // Then the adapter is pulled: the other attempts cannot open the port.
  line->Hangup();
  ASSERT_TRUE(watch([&] { return !ui.errors.empty(); }));
  EXPECT_EQ(shown.count("Переподключение 5 из 5"), 1u);
  EXPECT_EQ(ui.errors.size(), 1u);
  EXPECT_FALSE(w->Session().ReconnectWaiting());
  EXPECT_EQ(w->StatusText(0), "Не подключен");
  EXPECT_TRUE(Find<QAction>(*w, "btnConnect")->isEnabled());
  // The box says what the last attempt met, as a connect by hand does now.
  w->btnConnectClick();
  ASSERT_EQ(ui.errors.size(), 2u);
  EXPECT_EQ(ui.errors[0], ui.errors[1]);
  EXPECT_FALSE(w->Session().ReconnectWaiting());
}

}  // namespace
