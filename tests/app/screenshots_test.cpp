// Not a test: renders the windows into PNG files for scripts/screenshots.sh
// (disabled, so the test run skips it).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>

#include "app/live/live_view.h"
#include "app/logview/cell_page.h"
#include "app/logview/scatter_page.h"
#include "app/logview/window.h"
#include "app/mainwindow.h"
#include "app/tracewindow.h"
#include "common/paths.h"
#include "ecu/csvlog.h"
#include "ecu/ecu_data.h"
#include "ecu/session.h"
#include "link/trace.h"
#include "settings/settings.h"
#include "tests/support/core_state.h"
#include "tests/support/find_child.h"
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

// The main window as it looks in use: twenty runs in the table (more than
// fit, so the runs scroll beside the band column), numbers in every box.
void FillWithData(TfrmMain& w) {
  w.Session().LinkState() = 1;
  SetUnidirMode(w.Session(), 1);
  for (int run = 0; run < 20; ++run) {
    for (int rpm = 1500; rpm <= 7600; rpm += 250) {
      w.Session().Data().RPM = static_cast<std::uint16_t>(rpm);
      w.Session().Data().SpinDt = 0.05 + 0.002 * (run % 7);
      w.Session().Data().SpinAccel = 40;
      w.Session().Data().CorrUOZ = run % 2 ? -3 : 2;
      w.UpdateDisplay();
    }
    w.Session().Data().RPM = 800;
    w.UpdateDisplay();
  }
  SetUnidirMode(w.Session(), 0);
  w.Session().Data().RPM = 5230;
  w.Session().Data().THR = 87;
  w.Session().Data().AFR = 12.9;
  w.Session().Data().TWAT = 91;
  w.Session().Data().TAIR = 34;
  w.Session().Data().UOZ = 28.5;
  w.Session().Data().AIR = 412;
  w.Session().Data().GBC = 168.4;
  w.Session().Data().INJ = 11.2;
  w.Session().Data().SSM = 40;
  w.Session().Data().PRESS = 98.1;
  w.Session().Data().fXX = 0;
  w.Session().Data().fLAMREG = 1;
  w.Session().Data().fLEARN = 1;
  w.UpdateDisplay();
  w.Session().LinkState() = 0;
  const char* const panels[9] = {"Подключен", "Подключен", "27 мс",          "0",         "0",
                                 "2",         "0",         " LC1 AFR: 14.7", "25.4 п/сек"};
  for (int p = 0; p < 9; ++p) w.SetStatusText(static_cast<StatusPanel>(p), panels[p]);
}

TEST(Screenshots, DISABLED_RenderWindows) {
  const QString out = qEnvironmentVariable("VARNEK_SCREENSHOT_DIR");
  ASSERT_FALSE(out.isEmpty()) << "set VARNEK_SCREENSHOT_DIR";
  QDir().mkpath(out);
  QTemporaryDir appDir;  // fresh start: the fallback settings
  SetAppDirOverride(appDir.path().toStdString());
  RecordingUi ui;
  // The main window at the application font sizes users pick, at a usual size
  // and at its minimum size.
  const QFont normal = QApplication::font();
  QFile sizes(out + "/minimum-sizes.txt");
  ASSERT_TRUE(sizes.open(QIODevice::WriteOnly | QIODevice::Text));
  for (int pt : {9, 11, 13}) {
    QFont f = normal;
    f.setPointSize(pt);
    QApplication::setFont(f);
    const QString name = out + QStringLiteral("/main-window-%1pt").arg(pt);
    TfrmMain w(&ui);
    FillWithData(w);
    w.resize(std::max(1024, w.minimumWidth()), std::max(700, w.minimumHeight()));
    w.show();
    for (int page = 0; page < 3; ++page) {
      Find<QTabWidget>(w, "PageControl1")->setCurrentIndex(page);
      const char* const pages[3] = {"", "-table", "-diagnostics"};
      EXPECT_TRUE(Save(&w, name + pages[page] + ".png"));
    }
    // Three runs chosen in the table, drawn together.
    for (int c = 18; c <= 20; ++c)
      w.Runs().Grid()->selectionModel()->select(w.Runs().Grid()->model()->index(1, c),
                                                QItemSelectionModel::Select | QItemSelectionModel::Columns);
    w.Runs().ShowChosenRuns();
    EXPECT_TRUE(Save(&w, name + "-runs.png"));
    w.resize(w.minimumSize());
    Find<QTabWidget>(w, "PageControl1")->setCurrentIndex(1);
    EXPECT_TRUE(Save(&w, name + "-minimum.png"));
    QString panels;
    for (int p = 0; p < TStatusBar::kPanels; ++p)
      panels += QStringLiteral(" %1").arg(w.Live().StatusBar()->PanelWidth(p));
    sizes.write(QStringLiteral("%1 pt: minimum %2 x %3, status panels%4\n")
                    .arg(pt)
                    .arg(w.minimumWidth())
                    .arg(w.minimumHeight())
                    .arg(panels)
                    .toUtf8());
  }
  sizes.close();
  QApplication::setFont(normal);
  {
    TfrmMain w(&ui);
    w.show();
    w.BeginStage("Чтение прошивки", 100);
    w.StepDone(40, 100);
    EXPECT_TRUE(Save(&w, out + "/main-window-progress.png"));
    w.EndProgress();

    TfrmSettings s(ui, &w);
    s.show();
    EXPECT_TRUE(Save(&s, out + "/settings.png"));
    s.hide();

    const std::uint8_t request[] = {0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1};
    const std::uint8_t reply[] = {0x82, 0x10, 0xF1, 0x21, 0x0D, 0xB1, 0x80, 0xF1, 0x10, 0x62, 0x61, 0x0D};
    for (int i = 0; i < 20; ++i) {
      w.Session().Trace().AppendLine(TraceStartWriterLine());
      w.Session().Trace().AppendLine(TraceBeginWriterPauseLine());
      w.Session().Trace().AppendLine(TraceEndWriterPauseLine());
      w.Session().Trace().AppendLine(TraceWriteLine(request, 6));
      w.Session().Trace().AppendLine(TraceStopWriterLine());
      w.Session().Trace().AppendLine(TraceReadLine(reply, 12, false));
      w.Session().Trace().AppendLine(TraceWaitMsgEndLine(12, 102));
      w.Session().Trace().AppendLine(TraceMsgEndLine());
    }
    w.btnShowEcuTraceClick();
    EXPECT_TRUE(Save(w.TraceWindow(), out + "/trace-window.png"));
    w.TraceWindow()->hide();

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
    // The analysis pages over a drive through the whole map (the simulated
    // engine only idles and runs up): lean at high rpm and light load, rich
    // under heavy load, with some noise.
    const std::string drive = appDir.path().toStdString() + "/2024-05-01_11-00-00.csv";
    {
      std::ofstream out(drive, std::ios::binary);
      out << LogHeader() << "\r\n";
      std::mt19937 rng(5);
      std::normal_distribution<double> noise(0, 0.012);
      for (int i = 0; i < 20000; ++i) {
        EcuDataRecord d;
        const double rpm = 1000 + 2700 * (1 + std::sin(i * 0.0021)),
                     gbc = 70 + 75 * (1 + std::sin(i * 0.00073 + 1));
        d.RPM = static_cast<std::uint16_t>(rpm);
        d.GBC = gbc;
        d.THR = static_cast<std::uint8_t>(gbc / 2.2);
        d.ALF = 1.0;
        d.AFR = 14.7;
        d.AFR_LC1 = 14.7 * (1 + 0.05 * std::sin(rpm / 1100) - 0.06 * (gbc - 140) / 75 + noise(rng));
        out << FormatLogRow(d, 40LL * i) << "\r\n";
      }
    }
    view.ShowLog(ReadLogFile(drive), drive);
    view.resize(1280, 900);
    view.findChild<QTabWidget*>("tabsLogView")->setCurrentWidget(view.cellPage);
    EXPECT_TRUE(Save(&view, out + "/log-view-cells.png"));
    view.findChild<QTabWidget*>("tabsLogView")->setCurrentWidget(view.scatterPage);
    EXPECT_TRUE(Save(&view, out + "/log-view-scatter.png"));
  }
  SetAppDirOverride("");
}

}  // namespace
