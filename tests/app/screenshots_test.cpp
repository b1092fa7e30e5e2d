// Not a test: renders the windows into PNG files for scripts/screenshots.sh
// (disabled, so the test run skips it).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <fstream>

#include "app/logview.h"
#include "app/mainwindow.h"
#include "app/tracewindow.h"
#include "common/csvlog.h"
#include "common/paths.h"
#include "link/trace.h"
#include "settings/settings.h"
#include "tests/support/log_rows.h"
#include "tests/support/test_ui.h"

namespace {

void Settle() {
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
}

bool Save(QWidget* w, const QString& file) {
  Settle();
  return w->grab().save(file, "PNG");
}

TEST(Screenshots, DISABLED_RenderWindows) {
  const QString out = qEnvironmentVariable("VARNEK_SCREENSHOT_DIR");
  ASSERT_FALSE(out.isEmpty()) << "set VARNEK_SCREENSHOT_DIR";
  QDir().mkpath(out);
  QTemporaryDir appDir;  // fresh start: the fallback settings
  SetAppDirOverride(appDir.path().toStdString());
  RecordingUi ui;
  {
    TfrmMain w(&ui);
    w.show();
    EXPECT_TRUE(Save(&w, out + "/main-window.png"));
    w.PageControl1->setCurrentIndex(1);
    EXPECT_TRUE(Save(&w, out + "/main-window-table.png"));
    w.PageControl1->setCurrentIndex(2);
    EXPECT_TRUE(Save(&w, out + "/main-window-diagnostics.png"));
    w.PageControl1->setCurrentIndex(0);
    w.ShowProgress("Чтение прошивки", 100);
    for (int i = 0; i < 40; ++i) w.StepProgress();
    EXPECT_TRUE(Save(&w, out + "/main-window-progress.png"));
    w.HideProgress();

    TfrmSettings s(&w);
    s.show();
    EXPECT_TRUE(Save(&s, out + "/settings.png"));
    s.hide();

    const std::uint8_t request[] = {0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1};
    const std::uint8_t reply[] = {0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1, 0x80, 0xF1, 0x10, 0x62, 0x61, 0x0D};
    for (int i = 0; i < 20; ++i) {
      TraceAppendLine(TraceStartWriterLine());
      TraceAppendLine(TraceBeginWriterPauseLine());
      TraceAppendLine(TraceEndWriterPauseLine());
      TraceAppendLine(TraceWriteLine(request, 6));
      TraceAppendLine(TraceStopWriterLine());
      TraceAppendLine(TraceReadLine(reply, 12, false));
      TraceAppendLine(TraceWaitMsgEndLine(12, 102));
      TraceAppendLine(TraceMsgEndLine());
    }
    w.btnShowEcuTraceClick();
    EXPECT_TRUE(Save(frmEcuTrace, out + "/trace-window.png"));
    delete frmEcuTrace;
    frmEcuTrace = nullptr;

    const std::string log = appDir.path().toStdString() + "/2024-05-01_10-00-00.csv";
    std::ofstream(log, std::ios::binary) << LogText({LogHeader()}) + LogText(SimulatedLogRows(4500, 3));
    TfrmLogView view(ui);
    view.resize(1150, 720);
    view.show();
    view.ShowLog(ReadLogFile(log), log);
    view.SetTracks({{"RPM"}, {"THR"}, {"UOZ", "KUOZ1"}, {"AFR", "AFR_LC1"}, {"fXX"}, {"fPOW"}});
    view.SetVisibleTime({60, 120});
    view.SetCursorTime(95);
    EXPECT_TRUE(Save(&view, out + "/log-view.png"));
  }
  SetAppDirOverride("");
}

}  // namespace
