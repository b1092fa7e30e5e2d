// A new user's first two starts, through the real window and the simulated
// adapter: the file the first close writes must let the second start connect.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QTest>
#include <memory>

#include "app/mainwindow.h"
#include "common/paths.h"
#include "tests/link/link_rig.h"
#include "tests/support/find_child.h"

namespace {

class FirstUse : public LinkRig {
 protected:
  void TearDown() override {
    LinkRig::TearDown();
    w.reset();
  }
  std::unique_ptr<TfrmMain> w;
};

TEST_F(FirstUse, SecondStartWithOnlyTheKlinePortChangedConnectsAndPolls) {
  StartLine();
  const QString cfg = QString::fromStdString(ConfigFilePath());
  ASSERT_FALSE(QFile::exists(cfg));
  w = std::make_unique<TfrmMain>(&ui);
  Watch(w->Session());
  w->show();
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  QTest::keyClick(w.get(), Qt::Key_F10);
  ASSERT_FALSE(w->isVisible());
  w.reset();

  // The user edits the K-line port and nothing else.
  QFile f(cfg);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QByteArray text = f.readAll();
  f.close();
  ASSERT_TRUE(text.contains("[Ecu]\r\nPort=COM2\r\n")) << text.toStdString();
  text.replace("[Ecu]\r\nPort=COM2\r\n",
               "[Ecu]\r\nPort=" + QByteArray::fromStdString(line->LinkPath()) + "\r\n");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(text);
  f.close();

  w = std::make_unique<TfrmMain>(&ui);

  Watch(w->Session());
  w->show();
  w->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
  QTest::keyClick(w.get(), Qt::Key_F2);
  ASSERT_TRUE(WaitSession());
  ASSERT_TRUE(WaitFor([&] { return CountRequests(0x21) >= 3; }));
  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(Find<QAction>(*w, "btnConnectLambda")->isEnabled());  // no LC-1 was ever chosen
}

}  // namespace
