// The window's test programs run with a Qt application on the offscreen
// platform, so they can create widgets; the core's hand-offs and timers run
// on its event loop. (The core's test programs use GoogleTest's own main.)
#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
