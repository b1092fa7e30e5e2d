// End to end through the simulated adapter, ECU and engine. In request/reply
// mode the diagnostics page shows live numbers. In unidirectional mode the
// engine revs up twice with two ignition corrections and the acceleration
// table gets two columns with the faster one highlighted; leaving the mode
// returns to polling. The runs are in the runs file as they end and come back
// from it with their summary another time.
#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

#include "app/accel/runs_file.h"
#include "app/live/live_view.h"
#include "app/mainwindow.h"
#include "common/format.h"
#include "ecu/ecu_data.h"
#include "sim/engine.h"
#include "tests/link/link_rig.h"
#include "tests/support/find_child.h"

namespace {

class DisplayEndToEnd : public LinkRig {
 protected:
  void SetUp() override {
    LinkRig::SetUp();
    w = std::make_unique<TfrmMain>(&ui);
    Watch(w->Session());
    // The window loaded its fallback settings; the rig's link settings apply.
    TCfg.Echo = 1;
    TCfg.WriterPause = 20;
    TCfg.DataInterval = 0;  // the receiver asks for the next frame itself
    TCfg.ScreenInterval = 100;
    TCfg.LambdaEnabled = 0;
    TCfg.WriteLog = 0;
    TCfg.CBR = 1;
    engine = std::make_shared<EngineModel>(7);
    engine->Advance(600);  // warm: idles near 850 rpm
    // Each packet covers 20 ms of engine time and leaves every millisecond,
    // so a run-up and its fall back take well under a second.
    auto e = engine;
    ecu->SetPacketSource([e](int corrTimes2) {
      e->SetCorrection(corrTimes2 / 2.0);
      return e->NextCrankPacket(0.02);
    });
    ecu->SetPacketIntervalMs(1);
    StartLine();
    TCfg.Port = line->LinkPath();
  }
  void TearDown() override {
    LinkRig::TearDown();
    w.reset();
  }

  // Waits in a running event loop: the receiver's hand-offs are taken as they
  // come (a wait that sleeps between passes takes one packet per pass).
  static bool Until(const std::function<bool()>& pred, int ms) {
    QElapsedTimer t;
    t.start();
    while (!pred()) {
      if (t.elapsed() > ms) return false;
      QEventLoop loop;
      QTimer::singleShot(5, &loop, &QEventLoop::quit);
      loop.exec();
    }
    return true;
  }

  // A session in unidirectional mode, runs starting above 1500 rpm.
  void StartStream() {
    Find<QSpinBox>(*w, "edRPMLimit")->setValue(1500);
    w->btnConnectClick();
    ASSERT_TRUE(WaitSession());
    Find<QAction>(*w, "btnUnidirectionalMode")->trigger();
    ASSERT_TRUE(Until([&] { return w->Session().UnidirMode(); }, 5000));
  }
  // Sets the correction and waits until the packets report it.
  void Correction(int degrees) {
    Find<QSpinBox>(*w, "edCorrUOZ")->setValue(degrees);
    ASSERT_TRUE(Until([&] { return w->Session().Data().CorrUOZ.load() == degrees; }, 10000)) << degrees;
  }
  // One full-throttle run-up; waits until the engine idles again and the
  // window has closed the run.
  void RunUp(int expectedRuns) {
    engine->StartRunUp();
    // The run-up itself takes a few hundred ms here; on a loaded machine this
    // thread may first look when it is already over, so wait for its column.
    ASSERT_TRUE(Until([&] { return w->RunCount() == expectedRuns; }, 20000));
    ASSERT_TRUE(
        Until([&] { return !engine->InRunUp() && !w->Runs().Acceleration().RunInProgress(); }, 20000));
  }
  bool RawPair(std::uint8_t second) const {
    const auto raw = ecu->RawCommands();
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2)
      if (raw[i] == 0xEE && raw[i + 1] == second) return true;
    return false;
  }

  std::unique_ptr<TfrmMain> w;
  std::shared_ptr<EngineModel> engine;
};

TEST_F(DisplayEndToEnd, TwoRunUpsWithTwoCorrectionsGiveTwoColumnsFasterOneHighlighted) {
  ASSERT_NO_FATAL_FAILURE(StartStream());

  Correction(-15);
  EXPECT_TRUE(RawPair(0xE2));  // EE and twice the correction
  RunUp(1);
  Correction(15);
  EXPECT_TRUE(RawPair(0x1E));
  RunUp(2);

  const TAccelTableGrid& g = *w->Runs().Grid();
  ASSERT_EQ(g.ColCount(), 3);
  EXPECT_EQ(g.Cell(1, 0), "-15");
  EXPECT_EQ(g.Cell(2, 0), "15");
  for (int r = 1; r <= 11; ++r) {
    for (int c = 1; c <= 2; ++c) {
      bool ok = false;
      const double t = g.Cell(c, r).toDouble(&ok);
      // 500 rpm at 1100..1800 rpm/s of the model, within a sample or two.
      EXPECT_TRUE(ok && t > 0.15 && t < 0.8)
          << "column " << c << " row " << r << ": " << g.Cell(c, r).toStdString();
    }
    EXPECT_EQ(w->BestInRow(r).column, 2) << "row " << r;
  }
  // The first run's curves are now the previous run's.
  EXPECT_GT(w->Live().Chart()->Series(kSeries3)->data()->size(), 10);
  EXPECT_GT(w->Live().Chart()->Series(kSeries1)->data()->size(), 10);

  // Leaving the mode: the stream stops and polling resumes by itself.
  Find<QAction>(*w, "btnUnidirectionalMode")->trigger();
  ASSERT_TRUE(Until([&] { return !w->Session().UnidirMode(); }, 10000));
  const int polls = CountRequests(0x21);
  ASSERT_TRUE(Until([&] { return CountRequests(0x21) >= polls + 3; }, 5000));
  EXPECT_EQ(w->Session().LinkState().load(), 1);
  EXPECT_FALSE(Find<QAction>(*w, "btnUnidirectionalMode")->isChecked());
}

TEST_F(DisplayEndToEnd, DiagnosticsPageShowsLiveNumbersAndReplyRate) {
  w->btnConnectClick();
  ASSERT_TRUE(WaitSession());
  ASSERT_TRUE(Until([&] { return !Find<QLabel>(*w, "lblRPM2")->text().isEmpty(); }, 5000));
  EXPECT_EQ(w->Live().RpmLabel()->text(), Find<QLabel>(*w, "lblRPM2")->text());
  EXPECT_FALSE(Find<QLabel>(*w, "lblAFR")->text().isEmpty());
  // The first one-second window closes with a rate in panel 8.
  ASSERT_TRUE(Until([&] { return !w->StatusText(8).isEmpty(); }, 5000));
  EXPECT_TRUE(w->StatusText(8).endsWith(" п/сек")) << w->StatusText(8).toStdString();
  EXPECT_EQ(w->Live().Chart()->Series(kSeries1)->data()->size(), 0);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Everything the table page shows: cells, highlights, the summary.
QStringList TablePage(const TfrmMain& w) {
  QStringList out;
  const TAccelTableGrid& g = *w.Runs().Grid();
  for (int r = 0; r < g.rowCount(); ++r) {
    QStringList row;
    for (int c = 0; c < g.ColCount(); ++c) row << g.Cell(c, r) + (w.Runs().Table().IsBest(c, r) ? "*" : "");
    out << row.join('|');
  }
  const QTableWidget& s = *w.Runs().Summary()->findChild<QTableWidget*>("grdSummary");
  for (int r = 0; r < s.rowCount(); ++r)
    for (int c = 0; c < s.columnCount(); ++c) out << s.item(r, c)->text();
  return out << w.Runs().Summary()->findChild<QLabel*>("lblRange")->text()
             << w.Runs().Summary()->findChild<QLabel*>("lblVerdict")->text();
}

TEST_F(DisplayEndToEnd, RunsAreKeptAsTheyEndAndReopenAnotherTimeWithTheirSummary) {
  ASSERT_NO_FATAL_FAILURE(StartStream());

  Correction(-15);
  RunUp(1);
  // In the file as soon as it has ended.
  const std::string path = w->Runs().Journal().Path();
  RunsFileContent file;
  ASSERT_EQ(ParseRunsFile(ReadFile(path), file), "");
  ASSERT_EQ(file.runs.size(), 1u);
  RunUp(2);
  Correction(15);
  RunUp(3);
  RunUp(4);
  // The second run goes; its row stays, marked.
  w->Runs().Grid()->setCurrentCell(1, 2);
  QTest::keyClick(w->Runs().Grid(), Qt::Key_Delete);
  ASSERT_EQ(w->RunCount(), 3);

  ASSERT_EQ(ParseRunsFile(ReadFile(path), file), "");
  ASSERT_EQ(file.runs.size(), 4u);
  const bool deleted[] = {false, true, false, false};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(file.runs[i].deleted, deleted[i]) << i;
  // The rows hold what the table shows.
  const AccelRunRecord* const kept[] = {&file.runs[0], &file.runs[2], &file.runs[3]};
  for (int c = 1; c <= 3; ++c) {
    const AccelRunRecord& r = *kept[c - 1];
    EXPECT_EQ(r.corrUOZ, c == 1 ? -15 : 15);
    EXPECT_EQ(r.rpmLimit, 1500);
    EXPECT_EQ(r.avgAngle, 360);
    for (int b = 1; b <= 11; ++b) {
      ASSERT_TRUE(r.bands[b - 1]) << c << " " << b;
      EXPECT_EQ(w->Runs().Grid()->Cell(c, b).toStdString(), FormatFloat("##0.###", *r.bands[b - 1]));
    }
  }
  const QStringList shown = TablePage(*w);
  // Summed up by correction, fastest first; one run at -15 is not enough to be sure.
  EXPECT_EQ(shown.mid(13, 2), (QStringList{"15.0", "2"}));
  EXPECT_EQ(shown.mid(17, 2), (QStringList{"-15.0", "1"}));
  EXPECT_TRUE(shown.back().startsWith("Быстрее всего пока коррекция 15.0, но нужно больше замеров"));
  const std::size_t samples = w->Runs().Table().Run(3).samples.size();
  EXPECT_GT(samples, 20u);

  w->btnDisconnectClick();
  ASSERT_TRUE(Until([&] { return w->Session().LinkState().load() == 0 && !w->Session().PortOpen(); }, 10000));

  // Another day: a new program opens the file.
  w = std::make_unique<TfrmMain>(&ui);
  Watch(w->Session());
  ui.openAnswers.push_back(path);
  w->btnOpenRunsClick();
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_EQ(TablePage(*w), shown);
  EXPECT_EQ(w->Runs().Table().Run(3).samples.size(), samples);

  // A copy whose last row a crash cut opens with the rows before it, saying
  // what was left out and why; a file that is no runs file is refused.
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  const std::string cut = (folder / "cut_runs.csv").string();
  const std::string text = ReadFile(path);
  std::ofstream(cut, std::ios::binary) << text.substr(0, text.size() - 5);
  ui.openAnswers.push_back(cut);
  w->btnOpenRunsClick();
  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_EQ(w->Runs().Table().RunCount(), 2);
  for (int b = 1; b <= 11; ++b) {
    EXPECT_EQ(w->Runs().Grid()->Cell(1, b).toStdString(), FormatFloat("##0.###", *file.runs[0].bands[b - 1]));
    EXPECT_EQ(w->Runs().Grid()->Cell(2, b).toStdString(), FormatFloat("##0.###", *file.runs[2].bands[b - 1]));
  }
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(
      ui.messages.back().rfind("Файл замеров cut_runs.csv открыт не полностью.\nПропущено строк: 1 из 4.\n"
                               "— последняя строка 5 оборвана: файл замеров не был дописан до конца.\n",
                               0),
      0u)
      << ui.messages.back();
  const std::string other = (folder / "other.csv").string();
  std::ofstream(other, std::ios::binary) << "Время,Обороты\r\n1,2\r\n";
  ui.openAnswers.push_back(other);
  w->btnOpenRunsClick();
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find("это не файл замеров"), std::string::npos) << ui.errors[0];
  EXPECT_EQ(w->Runs().Table().RunCount(), 2);
}

TEST_F(DisplayEndToEnd, RunCutOffByAPulledCableIsInTheRunsFile) {
  ASSERT_NO_FATAL_FAILURE(StartStream());
  engine->StartRunUp();
  ASSERT_TRUE(Until([&] { return !w->Runs().Grid()->Cell(1, 4).isEmpty(); }, 20000));
  line->Hangup();
  ASSERT_TRUE(Until([&] { return w->Session().LinkState().load() == 0 && !w->Session().PortOpen(); }, 10000));
  ASSERT_EQ(w->RunCount(), 1);
  RunsFileContent file;
  ASSERT_EQ(ParseRunsFile(ReadFile(w->Runs().Journal().Path()), file), "");
  ASSERT_EQ(file.runs.size(), 1u);
  for (int b = 1; b <= 11; ++b) {
    const std::string cell = w->Runs().Grid()->Cell(1, b).toStdString();
    EXPECT_EQ(cell, file.runs[0].bands[b - 1] ? FormatFloat("##0.###", *file.runs[0].bands[b - 1]) : "") << b;
  }
}

}  // namespace
