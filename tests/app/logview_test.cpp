// The log view: "Файл → Открыть лог..." on a log written by a simulated
// session, a cut log, a foreign file, the tracks, computed channels and
// filters kept between starts, zoom, pan, the PNG export, and the cell table
// over a simulated session's operating points.
#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <fstream>
#include <map>
#include <numeric>
#include <random>

#include "app/logview/cell_page.h"
#include "app/logview/channel_page.h"
#include "app/logview/window.h"
#include "app/mainwindow.h"
#include "common/config.h"
#include "common/paths.h"
#include "common/worker.h"
#include "ecu/csvlog.h"
#include "tests/link/link_rig.h"
#include "tests/support/log_rows.h"
#include "tests/support/test_ui.h"

namespace {

QCustomPlot* LogPlot(const TfrmLogView& view) { return view.findChild<QCustomPlot*>("LogPlot"); }

// Opens path through the main window's command, as the user does.
TfrmLogView* OpenThroughMenu(TfrmMain& w, RecordingUi& ui, const std::string& path) {
  ui.openAnswers.push_back(path);
  w.btnOpenLogClick();
  TfrmLogView* view = w.LogView();
  if (!view) return nullptr;
  EXPECT_TRUE(QTest::qWaitFor([view] { return !view->Loading(); }, 20000));
  EXPECT_TRUE(QTest::qWaitForWindowExposed(view));
  LogPlot(*view)->replot();  // laid out at the window's shown size
  return view;
}

// The file's lines without their CR LF.
std::vector<std::string> FileLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

QCPAxis* TimeAxis(TfrmLogView& view, int track) {
  return LogPlot(view)->axisRect(track)->axis(QCPAxis::atBottom);
}

class LoggedSessionView : public LinkRig {
 protected:
  // A logged session through the simulator until `replies` replies came; the
  // log's lines, empty on failure.
  std::vector<std::string> LogASession(int replies) {
    TCfg.WriteLog = 1;
    StartLine();
    Connect(2);
    if (!WaitSession() || !WaitFor([&] { return ui.replyCount >= replies; }, 20000)) return {};
    session.Disconnect();
    if (!WaitLinkEnd()) return {};
    return FileLines(session.Log().FilePath());
  }
};

TEST_F(LoggedSessionView, ALogWrittenByASimulatedSessionOpensWithTheValuesOfItsCsv) {
  // Every frame different in every byte but the timing correction, which the
  // link would otherwise try to set back.
  ecu->SetRecordSource([rng = std::mt19937(11)]() mutable {
    auto record = sim::KwpEcu::IdleRecord(0);
    for (std::size_t i = 0; i < record.size(); ++i)
      if (i != 34) record[i] = static_cast<std::uint8_t>(rng());
    return record;
  });
  const std::vector<std::string> lines = LogASession(40);
  ASSERT_GE(lines.size(), 41u);
  const std::string path = session.Log().FilePath();

  TfrmMain w(&ui);
  TfrmLogView* view = OpenThroughMenu(w, ui, path);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(ui.errors.empty());
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_TRUE(view->HasLog());
  const LogTable& t = view->Table();
  ASSERT_EQ(t.RowCount(), lines.size() - 1);
  for (std::size_t row = 0; row < t.RowCount(); ++row) {
    const std::vector<std::string> f = LogFields(lines[row + 1]);
    ASSERT_EQ(f.size(), 90u);
    ASSERT_EQ(t.Times()[row], std::stod(f[0]));
    for (std::size_t var = 0; var < t.Names().size(); ++var)
      ASSERT_EQ(std::stod(t.FormatValue(var, row)), std::stod(f[var + 1]))
          << t.Names()[var] << " row " << row;
  }

  // The mouse over a track puts the cursor on the row there; the readout
  // holds that row's values as the CSV wrote them.
  view->SetTracks({{"RPM"}, {"UOZ", "AFR"}, {"fXX"}});
  const std::size_t row = t.RowCount() / 2;
  const double x = TimeAxis(*view, 0)->coordToPixel(t.Times()[row]);
  QTest::mouseMove(LogPlot(*view), QPoint(qRound(x), LogPlot(*view)->axisRect(1)->center().y()));
  ASSERT_EQ(view->CursorRow(), std::optional<std::size_t>(row));
  const std::vector<std::string> f = LogFields(lines[row + 1]);
  const auto readout = view->Readout();
  ASSERT_EQ(readout.size(), 4u);
  const std::vector<std::string> names = LogFields(LogHeader());
  for (const auto& [name, value] : readout) {
    const auto col = std::find(names.begin(), names.end(), name) - names.begin();
    EXPECT_EQ(std::stod(value), std::stod(f[static_cast<std::size_t>(col)])) << name;
  }
}

TEST_F(LoggedSessionView, CellTableOverASimulatedSessionGivesEachOperatingPointsValuesAndHits) {
  // Three operating points in turn, five frames each: 2000 rpm at GBC 100
  // with the ignition alternating 10 and 12 degrees, 4000 rpm at GBC 200 with
  // 20 degrees, 2000 rpm at GBC 200 with 15.
  ecu->SetRecordSource([tick = 0]() mutable {
    auto r = sim::KwpEcu::IdleRecord(0);
    const int point = tick / 5 % 3;
    r[0] = 0x10;                                       // off idle
    r[11] = 30;                                        // a steady throttle
    const unsigned period = point == 1 ? 1250 : 2500;  // 5 000 000 / period rpm
    r[14] = static_cast<std::uint8_t>(period);
    r[15] = static_cast<std::uint8_t>(period >> 8);
    const unsigned gbc6 = point == 0 ? 600 : 1200;  // GBC × 6
    r[47] = static_cast<std::uint8_t>(gbc6);
    r[48] = static_cast<std::uint8_t>(gbc6 >> 8);
    r[20] = static_cast<std::uint8_t>(point == 0 ? (tick % 2 ? 24 : 20) : point == 1 ? 40 : 30);  // UOZ × 2
    ++tick;
    return r;
  });
  const std::vector<std::string> lines = LogASession(60);
  ASSERT_GE(lines.size(), 61u);
  // What each cell must hold, counted from the CSV itself.
  const std::vector<std::string> header = LogFields(LogHeader());
  auto column = [&](const char* name) {
    return std::find(header.begin(), header.end(), name) - header.begin();
  };
  std::map<std::pair<int, int>, std::vector<double>> expected;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto f = LogFields(lines[i]);
    expected[{std::stoi(f[column("RPM")]), std::stoi(f[column("GBC")])}].push_back(
        std::stod(f[column("UOZ")]));
  }
  ASSERT_EQ(expected.size(), 3u);  // no frame between the points

  TfrmMain w(&ui);
  TfrmLogView* view = OpenThroughMenu(w, ui, session.Log().FilePath());
  ASSERT_NE(view, nullptr);
  TLogCellPage* page = view->cellPage;
  view->findChild<QTabWidget*>("tabsLogView")->setCurrentWidget(page);
  LogFilters none;
  none.idle = none.fuelCut = none.noLambda = none.transients = false;
  view->SetFilters(none);
  page->cbZ->setCurrentText("UOZ");
  page->edXBreaks->setText("1000 2000 3000 4000");
  emit page->edXBreaks->editingFinished();
  page->edYBreaks->setText("100 200");
  emit page->edYBreaks->editingFinished();
  const CellTable& cells = page->Cells();
  ASSERT_EQ(cells.XBreaks().size(), 4u);
  ASSERT_EQ(cells.YBreaks().size(), 2u);
  EXPECT_EQ(cells.RowsUsed(), lines.size() - 1);
  for (std::size_t xi = 0; xi < 4; ++xi)
    for (std::size_t yi = 0; yi < 2; ++yi) {
      const auto it =
          expected.find({static_cast<int>(cells.XBreaks()[xi]), static_cast<int>(cells.YBreaks()[yi])});
      const CellTable::Cell& cell = cells.At(xi, yi);
      if (it == expected.end()) {
        EXPECT_EQ(cell.hits, 0u) << xi << "," << yi;
        continue;
      }
      const std::vector<double>& v = it->second;
      EXPECT_EQ(cell.hits, v.size());
      EXPECT_NEAR(cells.Value(xi, yi, CellStatistic::Mean),
                  std::accumulate(v.begin(), v.end(), 0.0) / v.size(), 1e-9);
      EXPECT_EQ(cells.Value(xi, yi, CellStatistic::Min), *std::min_element(v.begin(), v.end()));
      EXPECT_EQ(cells.Value(xi, yi, CellStatistic::Max), *std::max_element(v.begin(), v.end()));
    }
  EXPECT_EQ(cells.Value(1, 0, CellStatistic::Min), 10.0);
  EXPECT_EQ(cells.Value(1, 0, CellStatistic::Max), 12.0);
  EXPECT_EQ(cells.Value(3, 1, CellStatistic::Mean), 20.0);
  EXPECT_EQ(cells.Value(1, 1, CellStatistic::Mean), 15.0);
  // The clipboard text: the axes and the values (a digit more than UOZ's),
  // empty cells without hits.
  page->cbStatistic->setCurrentIndex(2);  // maximum
  const std::string point = QLocale::system().decimalPoint().toStdString();
  EXPECT_EQ(page->CopyText(),
            "GBC \\ RPM\t1000\t2000\t3000\t4000\r\n"
            "100\t\t12" +
                point +
                "0\t\t\r\n"
                "200\t\t15" +
                point + "0\t\t20" + point + "0\r\n");

  // Kept for the next start: the breakpoints of RPM and GBC, the choice of Z.
  EXPECT_EQ(TCfg.LogViewOptions["Breakpoints.RPM"], "1000 2000 3000 4000");
  EXPECT_EQ(TCfg.LogViewOptions["CellZ"], "UOZ");
  EXPECT_TRUE(ui.errors.empty());
}

class LogViewWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    SetAppDirOverride(dir_.path().toStdString());
    TCfg = ConfigRecord{};
    rows_ = RandomLogRows(500, 23);
    log_ = Write("2024-05-01_10-00-00.csv", LogText({LogHeader()}) + LogText(rows_));
    w_ = std::make_unique<TfrmMain>(&ui_);
  }
  void TearDown() override {
    w_.reset();
    SetAppDirOverride("");
  }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = dir_.path().toStdString() + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

  QTemporaryDir dir_;
  RecordingUi ui_;
  std::unique_ptr<TfrmMain> w_;
  std::vector<std::string> rows_;
  std::string log_;
};

TEST_F(LogViewWindow, ACutLogOpensWithItsCompleteRowsAndAForeignFileIsRefusedKeepingTheShownOne) {
  const std::string cut =
      Write("cut.csv", LogText({LogHeader(), rows_[0], rows_[1], rows_[2]}) + rows_[3].substr(0, 100));
  TfrmLogView* view = OpenThroughMenu(*w_, ui_, cut);
  ASSERT_NE(view, nullptr);
  EXPECT_TRUE(ui_.errors.empty());
  EXPECT_EQ(view->Table().RowCount(), 3u);
  ASSERT_EQ(ui_.messages.size(), 1u);
  EXPECT_EQ(ui_.messages[0],
            "Лог cut.csv открыт не полностью.\nПропущено строк: 1 из 4.\n"
            "— последняя строка 5 оборвана: лог не был дописан до конца.");

  std::string header = LogHeader();
  header.erase(header.find(",RPM,"), 4);
  const std::string foreign = Write("foreign.csv", LogText({header, rows_[0]}));
  OpenThroughMenu(*w_, ui_, foreign);
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(ui_.errors[0],
            "Лог не открыт: " + foreign + "\nЭто не лог программы: в строке заголовка нет столбца RPM.");
  EXPECT_EQ(view->LogPath(), cut);
  EXPECT_EQ(view->Table().RowCount(), 3u);

  // Another file while one is read, then the window closed while reading:
  // the reads are dropped unreported and no reader outlives them.
  view->OpenLog(foreign);
  view->OpenLog(cut);
  view->close();  // done looking: the rows are let go
  EXPECT_FALSE(view->Loading());
  EXPECT_TRUE(QTest::qWaitFor([] { return LiveWorkerCount() == 0; }, 20000));
  EXPECT_EQ(ui_.errors.size(), 1u);
  EXPECT_FALSE(view->HasLog());
  EXPECT_EQ(view->Table().RowCount(), 0u);
}

TEST_F(LogViewWindow, ChoiceOfTracksChannelsAndFiltersIsKeptBetweenStarts) {
  TfrmLogView* view = OpenThroughMenu(*w_, ui_, log_);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(LogPlot(*view)->axisRectCount(), 0);  // nothing chosen yet
  auto item = [&](const char* name) {
    return view->findChild<QListWidget*>("lstVariables")->findItems(name, Qt::MatchExactly)[0];
  };
  item("RPM")->setCheckState(Qt::Checked);
  item("THR")->setCheckState(Qt::Checked);
  item("fXX")->setCheckState(Qt::Checked);
  item("UOZ")->setCheckState(Qt::Checked);
  item("UOZ")->setCheckState(Qt::Unchecked);
  // A formula refused says so, and where; the list stays as it was.
  EXPECT_FALSE(view->channelPage->Add("LOAD", "RPM*(THR/100"));
  ASSERT_EQ(ui_.errors.size(), 1u);
  EXPECT_EQ(ui_.errors[0], "Формула канала LOAD не принята: RPM*(THR/100\nв позиции 13: скобки не сходятся.");
  ui_.errors.clear();
  ASSERT_TRUE(view->channelPage->Add("LOAD", "RPM*THR/100"));
  view->SetTracks({{"RPM", "THR"}, {"fXX"}, {"LOAD"}});
  LogFilters filters;
  filters.idle = false;
  filters.transientVariable = "LOAD";
  filters.transientLimit = 7.5;
  view->SetFilters(filters);
  w_->close();  // saves cfg.ini
  w_.reset();
  QFile ini(dir_.path() + "/cfg.ini");
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  const QByteArray text = ini.readAll();
  EXPECT_TRUE(text.contains("[LogView]\r\nTracks=RPM,THR;fXX;LOAD\r\n"));
  EXPECT_TRUE(text.contains("\r\nChannels=2\r\n"));
  EXPECT_TRUE(text.contains("\r\nChannel2=LOAD:RPM*THR/100\r\n"));

  TCfg = ConfigRecord{};  // a new start
  w_ = std::make_unique<TfrmMain>(&ui_);
  view = OpenThroughMenu(*w_, ui_, log_);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->Tracks(), (LogTracks{{"RPM", "THR"}, {"fXX"}, {"LOAD"}}));
  EXPECT_EQ(view->Analysis().options.channels,
            (std::vector<ComputedChannel>{{"LC1/AFR", "AFR_LC1/AFR"}, {"LOAD", "RPM*THR/100"}}));
  EXPECT_EQ(view->Analysis().options.filters, filters);
  EXPECT_EQ(item("THR")->checkState(), Qt::Checked);
  EXPECT_EQ(item("UOZ")->checkState(), Qt::Unchecked);
  ASSERT_EQ(LogPlot(*view)->axisRectCount(), 3);
  ASSERT_EQ(LogPlot(*view)->graphCount(), 4);
  EXPECT_EQ(LogPlot(*view)->graph(0)->lineStyle(), QCPGraph::lsLine);
  EXPECT_EQ(LogPlot(*view)->graph(2)->lineStyle(), QCPGraph::lsStepLeft);  // the flag
  EXPECT_EQ(LogPlot(*view)->graph(2)->valueAxis()->range(), QCPRange(-0.3, 1.3));
  // The channel's track holds the formula's value of each row.
  const LogTable& t = view->Table();
  const std::size_t rpm = *t.IndexOf("RPM"), thr = *t.IndexOf("THR");
  for (const std::size_t row : {0, 250, 499}) {
    const auto& point = LogPlot(*view)->graph(3)->data()->at(static_cast<int>(row));
    EXPECT_EQ(point->key, t.Times()[row]);
    EXPECT_NEAR(point->value, t.Value(rpm, row) * t.Value(thr, row) / 100, 1e-9);
  }
  EXPECT_TRUE(ui_.errors.empty());
}

TEST_F(LogViewWindow, RefreshShowsTheRowsWrittenSinceAndFollowsTheEnd) {
  // A log being written: 300 rows so far, the next one half written.
  const std::string growing =
      Write("growing.csv", LogText({LogHeader()}) + LogText({rows_.begin(), rows_.begin() + 300}) +
                               rows_[300].substr(0, 50));
  TfrmLogView* view = OpenThroughMenu(*w_, ui_, growing);
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(view->Table().RowCount(), 300u);
  ASSERT_EQ(ui_.messages.size(), 1u);  // opened as a new log: the cut row is reported
  const double width = 2.0;
  view->SetVisibleTime({view->Table().Times()[299] - width, view->Table().Times()[299]});

  std::ofstream(growing, std::ios::binary | std::ios::app)
      << rows_[300].substr(50) + "\r\n" + LogText({rows_.begin() + 301, rows_.begin() + 400}) +
             rows_[400].substr(0, 9);
  view->findChild<QAction*>("actRefresh")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([view] { return !view->Loading(); }, 20000));
  ASSERT_EQ(view->Table().RowCount(), 400u);
  EXPECT_EQ(ui_.messages.size(), 1u);                                // the row being written is no news
  EXPECT_EQ(view->VisibleTime().upper, view->Table().Times()[399]);  // the view followed the end
  EXPECT_NEAR(view->VisibleTime().upper - view->VisibleTime().lower, width, 1e-9);

  // A view away from the end stays where it is.
  const TimeRange middle{view->Table().Times()[100], view->Table().Times()[150]};
  view->SetVisibleTime(middle);
  std::ofstream(growing, std::ios::binary | std::ios::app) << rows_[400].substr(9) + "\r\n";
  view->findChild<QAction*>("actRefresh")->trigger();
  ASSERT_TRUE(QTest::qWaitFor([view] { return !view->Loading(); }, 20000));
  EXPECT_EQ(view->Table().RowCount(), 401u);
  EXPECT_NEAR(view->VisibleTime().lower, middle.lower, 1e-9);
  EXPECT_NEAR(view->VisibleTime().upper, middle.upper, 1e-9);
  EXPECT_TRUE(ui_.errors.empty());
}

TEST_F(LogViewWindow, WheelZoomsDragPansFitAllShowsTheLogAndPngSavesTheVisibleRange) {
  TCfg.LogViewTracks = "RPM;UOZ;fXX";
  TfrmLogView* view = OpenThroughMenu(*w_, ui_, log_);
  ASSERT_NE(view, nullptr);
  const double start = view->Table().Times().front(), end = view->Table().Times().back();
  EXPECT_EQ(view->VisibleTime().lower, start);
  EXPECT_EQ(view->VisibleTime().upper, end);

  // Five wheel steps forward in the middle track zoom the time axis of every track.
  const QPoint middle = LogPlot(*view)->axisRect(1)->center();
  QWheelEvent wheel(middle, LogPlot(*view)->mapToGlobal(middle), {}, {0, 5 * 120}, Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(LogPlot(*view), &wheel);
  const TimeRange zoomed = view->VisibleTime();
  EXPECT_LT(zoomed.upper - zoomed.lower, (end - start) * 0.6);
  for (int track = 0; track < 3; ++track) {
    EXPECT_EQ(TimeAxis(*view, track)->range().lower, zoomed.lower);
    EXPECT_EQ(TimeAxis(*view, track)->range().upper, zoomed.upper);
  }

  // Dragging right shows earlier times, but never before the log's start.
  QTest::mousePress(LogPlot(*view), Qt::LeftButton, {}, middle);
  QTest::mouseMove(LogPlot(*view), middle + QPoint(100, 0));
  QTest::mouseRelease(LogPlot(*view), Qt::LeftButton, {}, middle + QPoint(100, 0));
  const TimeRange dragged = view->VisibleTime();
  EXPECT_LT(dragged.lower, zoomed.lower);
  EXPECT_GE(dragged.lower, start);
  EXPECT_NEAR(dragged.upper - dragged.lower, zoomed.upper - zoomed.lower, 1e-9);

  const std::string png = dir_.path().toStdString() + "/picture";
  ui_.saveAnswers.push_back(png);
  view->ExportPngCommand();
  const QImage image(QString::fromStdString(png + ".png"));
  ASSERT_FALSE(image.isNull());
  EXPECT_GT(image.width(), LogPlot(*view)->width());  // the readout beside the tracks too

  view->findChild<QAction*>("actFitAll")->trigger();
  EXPECT_EQ(view->VisibleTime().lower, start);
  EXPECT_EQ(view->VisibleTime().upper, end);
  EXPECT_TRUE(ui_.errors.empty());
}

}  // namespace
