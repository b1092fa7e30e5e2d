// The live display inside the main window: what each refresh touches, the
// chart in both modes, the acceleration table's keys and painting, the pause key.
#include <gtest/gtest.h>
#include <qcustomplot.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <fstream>

#include "app/accel/accel_view.h"
#include "app/accel/runs_file.h"
#include "app/live/live_view.h"
#include "app/mainwindow.h"
#include "common/paths.h"
#include "ecu/ecu_data.h"
#include "ecu/session.h"
#include "tests/support/core_state.h"
#include "tests/support/find_child.h"
#include "tests/support/live_lc1.h"
#include "tests/support/test_ui.h"

namespace {

// A main window with the link flags set as a test needs them; everything is
// put back afterwards so other tests see an idle program.
class DisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The runs file goes to a Logs folder of the test's own.
    ASSERT_TRUE(dir_.isValid());
    SetAppDirOverride(dir_.path().toStdString());
    ResetCoreState();
    w = std::make_unique<TfrmMain>(&dialogs);
    d = &w->Runs();
  }
  void TearDown() override {
    ResetCoreState();
    w.reset();
    SetAppDirOverride("");
  }
  void Session(bool unidir) {
    w->Session().LinkState() = 1;
    SetUnidirMode(w->Session(), unidir ? 1 : 0);
  }
  // One completed speed sample handed to the display.
  void Sample(int rpm, double dt = 0.1, double accel = 0, double corr = 0) {
    w->Session().Data().RPM = static_cast<std::uint16_t>(rpm);
    w->Session().Data().SpinDt = dt;
    w->Session().Data().SpinAccel = accel;
    w->Session().Data().CorrUOZ = corr;
    w->UpdateDisplay();
  }
  // A run from 1500 rpm through 2000, 2500 and 3000 with samples dt long.
  void Run(double dt, double corr = 0) {
    for (int rpm : {1500, 2000, 2500, 3000}) Sample(rpm, dt, 0, corr);
    Sample(800, dt);
  }
  int Points(QCPGraph* g) const { return g->data()->size(); }
  QString Cell(int c, int r) const { return w->Runs().Grid()->Cell(c, r); }

  QTemporaryDir dir_;
  RecordingUi dialogs;
  std::unique_ptr<TfrmMain> w;
  AccelView* d = nullptr;
};

TEST_F(DisplayTest, RequestReplyFillsDiagnosticsAndLeavesChartAlone) {
  Session(false);
  w->Session().Data().RPM = 850;
  w->Session().Data().AFR = 14.66;
  w->Session().Data().TWAT = -5;
  w->Session().Data().PRESS = 98.04;
  w->Session().Data().CorrUOZ = -2.5;
  w->Session().Data().fXX = 1;
  w->Session().Data().SpinDt = 0.1;
  for (int i = 0; i < 50; ++i) w->UpdateDisplay();
  EXPECT_EQ(w->Live().RpmLabel()->text(), "850");
  EXPECT_EQ(w->Live().CorrectionLabel()->text(), "-2.5");
  EXPECT_EQ(Find<QLabel>(*w, "lblRPM2")->text(), "850");
  EXPECT_EQ(Find<QLabel>(*w, "lblAFR")->text(), "14.7");
  EXPECT_EQ(Find<QLabel>(*w, "lblTWAT")->text(), "-5");
  EXPECT_EQ(Find<QLabel>(*w, "lblPress")->text(), "98");
  EXPECT_TRUE(Find<QCheckBox>(*w, "cbfXX")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>(*w, "cbfSTOP")->isChecked());
  auto& c = *w->Live().Chart();
  for (QCPGraph* g :
       {c.Series(kSeries1), c.Series(kSeries2), c.Series(kSeries3), c.Series(kSeries4), c.Series(kSeries5)})
    EXPECT_EQ(Points(g), 0);
  EXPECT_EQ(w->Runs().Grid()->ColCount(), 1);
}

TEST_F(DisplayTest, UnidirectionalModeLeavesDiagnosticsWithLastValues) {
  Session(false);
  w->Session().Data().RPM = 850;
  w->Session().Data().fDET = 1;
  w->UpdateDisplay();
  SetUnidirMode(w->Session(), 1);
  w->Session().Data().fDET = 0;
  Sample(1500);
  EXPECT_EQ(w->Live().RpmLabel()->text(), "1500");
  EXPECT_EQ(Find<QLabel>(*w, "lblRPM2")->text(), "850");
  EXPECT_TRUE(Find<QCheckBox>(*w, "cbfDET")->isChecked());
}

TEST_F(DisplayTest, AccelerationRunsFillChartAndTable) {
  Session(true);
  Run(0.1, -3.5);
  auto& c = *w->Live().Chart();
  EXPECT_EQ(Points(c.Series(kSeries1)), 4);
  EXPECT_EQ(Points(c.Series(kSeries2)), 4);
  EXPECT_EQ(w->Runs().Grid()->ColCount(), 2);
  EXPECT_EQ(w->RunCount(), 1);
  EXPECT_EQ(Cell(1, 0), "-3");
  EXPECT_EQ(Cell(1, 1), "0.1");
  EXPECT_EQ(Cell(1, 2), "0.1");
  EXPECT_EQ(w->Runs().Grid()->currentColumn(), 1);
  // The next run moves this one to the previous run's series.
  Sample(1500, 0.1);
  EXPECT_EQ(Points(c.Series(kSeries3)), 4);
  EXPECT_EQ(Points(c.Series(kSeries4)), 4);
  EXPECT_EQ(Points(c.Series(kSeries1)), 1);
  EXPECT_EQ(w->Runs().Grid()->ColCount(), 3);
  EXPECT_EQ(w->Runs().Grid()->currentColumn(), 2);
  EXPECT_TRUE(w->Live().ReplotPending());
}

TEST_F(DisplayTest, ScreenTickInUnidirectionalModeTakesNoSampleTwice) {
  Session(true);
  Find<QSpinBox>(*w, "edFilterLen")->setValue(3);
  d->ResetFilter(3);
  Sample(1500, 0.1, 10);
  Sample(1600, 0.1, 20);
  const double t = d->Acceleration().ElapsedTime();
  const int count = d->Acceleration().Filter().Count();
  w->Session().Data().RPM = 1700;
  for (int i = 0; i < 5; ++i) w->ScreenUpdateTimerTimer();
  EXPECT_EQ(w->Live().RpmLabel()->text(), "1700");
  EXPECT_EQ(Points(w->Live().Chart()->Series(kSeries1)), 2);
  EXPECT_DOUBLE_EQ(d->Acceleration().ElapsedTime(), t);
  EXPECT_EQ(d->Acceleration().Filter().Count(), count);
}

TEST_F(DisplayTest, AdditionalFuelRecordsAgainstTimeAndFollowsNewestPoint) {
  Find<QComboBox>(*w, "bcmbMode")->setCurrentIndex(1);
  ASSERT_EQ(w->ChartMode(), 1);
  Session(true);
  w->Session().Data().AFR = 13.0;
  w->Session().Data().AFR_LC1 = -1.0;
  w->Session().Data().DGTC_RICH = 1.5;
  for (int i = 0; i < 110; ++i) Sample(3000, 0.1);
  auto& c = *w->Live().Chart();
  EXPECT_EQ(Points(c.Series(kSeries1)), 110);
  EXPECT_EQ(Points(c.Series(kSeries2)), 110);
  EXPECT_EQ(Points(c.Series(kSeries4)), 0);  // no LC-1 value
  EXPECT_EQ(Points(c.Series(kSeries5)), 110);
  const QCPRange x = c.Plot()->xAxis->range();
  EXPECT_NEAR(x.upper, 11, 1e-9);
  EXPECT_NEAR(x.size(), 10, 1e-9);
  // A pause ends the recording; the next one starts at 0 on a clean chart.
  w->Live().SetPaused(true);
  Sample(3000, 0.1);
  w->Live().SetPaused(false);
  Sample(3000, 0.1);
  EXPECT_EQ(Points(c.Series(kSeries1)), 1);
  EXPECT_NEAR(c.Plot()->xAxis->range().lower, 0, 1e-12);
  EXPECT_NEAR(c.Plot()->xAxis->range().upper, 10, 1e-9);
}

TEST_F(DisplayTest, LambdaPanelFollowsLc1EvenWithoutEcu) {
  LiveLc1 lc1(w->Lc1());
  ASSERT_TRUE(w->Lc1().Active());
  w->Session().Data().AFR_LC1 = 14.7;
  w->UpdateDisplay();
  EXPECT_EQ(w->StatusText(7), " LC1 AFR: 14.7");
  w->Session().Data().AFR_LC1 = -1.0;
  w->UpdateDisplay();
  EXPECT_EQ(w->StatusText(7), " LC1 AFR: --");
  EXPECT_EQ(w->Live().RpmLabel()->text(), "");  // no link: the top strip stays
}

TEST_F(DisplayTest, ReplyRateCountsOnlyDuringASession) {
  SessionEvents& events = *w;
  for (int i = 0; i < 100; ++i) events.OnReply();
  EXPECT_EQ(w->StatusText(8), "");
}

TEST_F(DisplayTest, DeleteKeyRemovesCurrentRunColumn) {
  Session(true);
  Run(0.3, -1);
  Run(0.1, 0);
  Run(0.2, 1);
  auto* g = w->Runs().Grid();
  g->setCurrentCell(1, 2);
  QTest::keyClick(g, Qt::Key_Delete);
  EXPECT_EQ(g->ColCount(), 3);
  EXPECT_EQ(w->RunCount(), 2);
  EXPECT_EQ(Cell(2, 0), "1");
  EXPECT_EQ(Cell(2, 1), "0.2");
  EXPECT_EQ(d->Table().BestInRow(1).column, 2);
  g->setCurrentCell(1, 1);
  QTest::keyClick(g, Qt::Key_Delete);
  QTest::keyClick(g, Qt::Key_Delete);
  EXPECT_EQ(g->ColCount(), 1);
  EXPECT_EQ(Cell(0, 1), "2000 - 2500");  // the labels stay
  QTest::keyClick(g, Qt::Key_Delete);
  EXPECT_EQ(g->ColCount(), 1);
}

TEST_F(DisplayTest, ChosenRunsDrawnTogetherAndTableCopiedForASpreadsheet) {
  Session(true);
  Run(0.2, -2.5);
  Run(0.1, 3);
  Run(0.3, 0);
  auto* g = w->Runs().Grid();
  EXPECT_EQ(Cell(2, AccelTableModel::kTotalRow), "0.2");
  EXPECT_TRUE(d->Table().IsBest(2, AccelTableModel::kTotalRow));
  EXPECT_EQ(w->Runs().Summary()->findChild<QTableWidget*>("grdSummary")->item(0, 0)->text(), "3.0");

  // Runs 1 and 2 chosen, as with a click and a Ctrl+click.
  g->setCurrentCell(1, 1);
  g->selectionModel()->select(g->model()->index(1, 2),
                              QItemSelectionModel::Select | QItemSelectionModel::Columns);
  d->ShowChosenRuns();
  const auto& graphs = w->Live().Chart()->RunGraphs();
  ASSERT_EQ(graphs.size(), 2u);
  EXPECT_EQ(graphs[0]->name(), "Коррекция -2.5, замер 1");
  EXPECT_EQ(graphs[1]->name(), "Коррекция 3.0, замер 2");
  EXPECT_NE(graphs[0]->pen().color(), graphs[1]->pen().color());
  EXPECT_EQ(w->Live().Chart()->Plot()->legend->itemCount(), 2);
  EXPECT_TRUE(w->Live().Chart()->Plot()->legend->visible());
  EXPECT_EQ(Find<QTabWidget>(*w, "PageControl1")->currentWidget(), w->Live().Chart());
  // Both curves start at 2000 rpm, where their timing started.
  for (QCPGraph* c : graphs) {
    ASSERT_EQ(c->data()->size(), 3);
    EXPECT_EQ(c->data()->begin()->key, 0);
    EXPECT_EQ(c->data()->begin()->value, 2000);
  }
  EXPECT_NEAR(graphs[1]->data()->at(2)->key, 0.2, 1e-6);

  QTest::keyClick(g, Qt::Key_C, Qt::ControlModifier);
  const QString point = QLocale::system().decimalPoint();
  const QStringList lines = QGuiApplication::clipboard()->text().split('\n');
  ASSERT_EQ(lines.size(), 14);
  EXPECT_EQ(lines[0], "\t-2\t3\t0");
  EXPECT_EQ(lines[1], QString("2000 - 2500\t0.2\t0.1\t0.3").replace(".", point));
  EXPECT_EQ(lines[3], "3000 - 3500\t\t\t");
  EXPECT_EQ(lines[12], QString("Всего\t0.4\t0.2\t0.6").replace(".", point));
}

TEST_F(DisplayTest, OpeningTheTablesOwnFileMidRunKeepsThatRun) {
  Session(true);
  Run(0.2, 1);
  const std::string path = d->Journal().Path();
  ASSERT_FALSE(path.empty());
  for (int rpm : {1500, 2000, 2500}) Sample(rpm, 0.1, 0, 2);
  ASSERT_TRUE(d->Acceleration().RunInProgress());
  ASSERT_TRUE(d->OpenRuns(path));
  EXPECT_EQ(w->RunCount(), 2);
  EXPECT_EQ(Cell(2, 1), "0.1");
  EXPECT_FALSE(d->Acceleration().RunInProgress());
  // The rest of that run-up opens no column, and the next run goes on in the file.
  Sample(3000, 0.1, 0, 2);
  Sample(800);
  Run(0.3, 2);
  EXPECT_EQ(d->Journal().Path(), path);
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  RunsFileContent c;
  ASSERT_EQ(ParseRunsFile(text, c), "");
  ASSERT_EQ(c.runs.size(), 3u);
  EXPECT_DOUBLE_EQ(*c.runs[2].bands[0], 0.3);
  EXPECT_TRUE(dialogs.errors.empty());
}

TEST_F(DisplayTest, ConnectForgetsHighlights) {
  Session(true);
  Run(0.1);
  ASSERT_EQ(d->Table().BestInRow(1).column, 1);
  w->Session().LinkState() = 0;
  SetUnidirMode(w->Session(), 0);
  d->ResetBest();
  EXPECT_EQ(d->Table().BestInRow(1).column, 0);
  EXPECT_EQ(Cell(1, 1), "0.1");
}

// Column 0 is drawn by the grid's fixed column.
QColor PixelAt(TAccelTableGrid* g, int column, int row) {
  QTableView* view = column == 0 ? g->FixedColumn() : g;
  const QImage img = view->viewport()->grab().toImage();
  const QRect r = view->visualRect(g->model()->index(row, column));
  return img.pixelColor(r.left() + 3, r.bottom() - 2);
}

TEST_F(DisplayTest, CellsPaintedWithStateColours) {
  Session(true);
  Run(0.2);
  Run(0.1);
  auto* g = w->Runs().Grid();
  Find<QTabWidget>(*w, "PageControl1")->setCurrentWidget(w->Runs().Page());
  w->resize(900, 600);
  w->show();
  g->setCurrentCell(3, 1);                             // row 3 (3000 - 3500) is empty in both runs
  EXPECT_EQ(PixelAt(g, 0, 1), QColor(220, 220, 223));  // header face
  EXPECT_EQ(PixelAt(g, 1, 0), QColor(220, 220, 223));
  EXPECT_EQ(PixelAt(g, 2, 1), QColor(230, 250, 230));  // best, not selected
  EXPECT_EQ(PixelAt(g, 1, 1), QColor(255, 255, 255));  // plain
  EXPECT_EQ(PixelAt(g, 1, 3), QColor(192, 192, 192));  // selected
  g->setCurrentCell(1, 2);
  EXPECT_EQ(PixelAt(g, 2, 1), QColor(170, 210, 170));  // selected best
}

TEST_F(DisplayTest, BandColumnStaysWhileTwentyRunsScroll) {
  Session(true);
  for (int i = 0; i < 20; ++i) Run(0.1 + 0.01 * i);
  auto* g = w->Runs().Grid();
  ASSERT_EQ(g->ColCount(), 21);
  Find<QTabWidget>(*w, "PageControl1")->setCurrentWidget(w->Runs().Page());
  w->resize(900, 600);
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  // The newest run is in view, the first has scrolled away...
  const QRect shown = g->viewport()->rect();
  EXPECT_TRUE(shown.contains(g->visualRect(g->model()->index(1, 20))));
  EXPECT_FALSE(shown.intersects(g->visualRect(g->model()->index(1, 1))));
  // ...and the band labels stay at the left, beside the runs.
  const QTableView* fixed = g->FixedColumn();
  EXPECT_TRUE(fixed->isVisible());
  EXPECT_TRUE(g->rect().contains(fixed->geometry()));
  EXPECT_EQ(fixed->geometry().right() + 1, g->viewport()->geometry().left());
  EXPECT_GE(fixed->width(), g->HeaderWidth());
  const QImage table = g->grab().toImage();
  const QRect label = fixed->visualRect(fixed->model()->index(1, 0)).translated(fixed->geometry().topLeft());
  EXPECT_EQ(table.pixelColor(label.left() + 3, label.bottom() - 2), QColor(220, 220, 223));
  EXPECT_EQ(fixed->model()->index(1, 0).data().toString(), "2000 - 2500");
  EXPECT_FALSE(fixed->isColumnHidden(0));
  EXPECT_TRUE(fixed->isColumnHidden(20));
}

TEST_F(DisplayTest, ScreenReadersFindTheBandLabelsAsRowHeadersWhereTheyAreDrawn) {
  Session(true);
  Run(0.1);
  auto* g = w->Runs().Grid();
  Find<QTabWidget>(*w, "PageControl1")->setCurrentWidget(w->Runs().Page());
  w->resize(900, 600);
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  QAccessibleInterface* table = QAccessible::queryAccessibleInterface(g);
  ASSERT_TRUE(table && table->tableInterface());
  const QTableView* fixed = g->FixedColumn();
  const QRect drawn(fixed->mapToGlobal(QPoint(0, 0)), fixed->size());
  for (int r = 1; r < TAccelTableGrid::kRows; ++r) {
    QAccessibleInterface* cell = table->tableInterface()->cellAt(r, 1);
    ASSERT_TRUE(cell && cell->tableCellInterface()) << r;
    const QList<QAccessibleInterface*> headers = cell->tableCellInterface()->rowHeaderCells();
    // Qt hands header cells over unregistered: registered, Qt frees them.
    for (QAccessibleInterface* h : headers) QAccessible::registerAccessibleInterface(h);
    ASSERT_EQ(headers.size(), 1) << r;
    EXPECT_EQ(headers[0]->text(QAccessible::Name).toStdString(), AccelTableModel::RowLabel(r));
    const QRect label = fixed->visualRect(fixed->model()->index(r, 0)).translated(drawn.topLeft());
    // The row's box, its grid line included, around the drawn label.
    EXPECT_TRUE(headers[0]->rect().contains(label)) << r;
    EXPECT_EQ(headers[0]->rect().height(), g->rowHeight(r)) << r;
  }
}

TEST_F(DisplayTest, SpaceTogglesPauseOnlyInUnidirectionalSession) {
  w->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
  QWindow* h = w->windowHandle();
  ASSERT_NE(h, nullptr);
  QTest::keyClick(h, Qt::Key_Space, Qt::NoModifier, -1);
  EXPECT_FALSE(w->Live().Paused());
  Session(false);
  QTest::keyClick(h, Qt::Key_Space);
  EXPECT_FALSE(w->Live().Paused());
  Session(true);
  QTest::keyClick(h, Qt::Key_Space);
  EXPECT_TRUE(w->Live().Paused());
  EXPECT_TRUE(w->Live().PauseLabel()->isVisible());
  QTest::keyClick(h, Qt::Key_A);
  EXPECT_TRUE(w->Live().Paused());
  QTest::keyClick(h, Qt::Key_Space);
  EXPECT_FALSE(w->Live().Paused());
  EXPECT_FALSE(w->Live().PauseLabel()->isVisible());
}

TEST_F(DisplayTest, ModeSelectorSetsUpTheChartAgain) {
  Find<QComboBox>(*w, "bcmbMode")->setCurrentIndex(1);
  Session(true);
  for (int i = 0; i < 20; ++i) Sample(3000, 0.1);
  auto& c = *w->Live().Chart();
  ASSERT_EQ(Points(c.Series(kSeries1)), 20);
  EXPECT_EQ(c.Plot()->yAxis2->range(), QCPRange(10, 20.2));
  EXPECT_TRUE(c.CustomAxis()->visible());
  w->Session().LinkState() = 0;
  SetUnidirMode(w->Session(), 0);
  Find<QComboBox>(*w, "bcmbMode")->setCurrentIndex(0);
  EXPECT_EQ(w->ChartMode(), 0);
  for (QCPGraph* g :
       {c.Series(kSeries1), c.Series(kSeries2), c.Series(kSeries3), c.Series(kSeries4), c.Series(kSeries5)})
    EXPECT_EQ(Points(g), 0);
  EXPECT_EQ(c.Plot()->yAxis2->range(), QCPRange(-150, 156));
  EXPECT_FALSE(c.CustomAxis()->visible());
}

TEST_F(DisplayTest, ZoomButtonsStayInLowerLeftCorner) {
  w->show();
  auto& c = *w->Live().Chart();
  for (QSize size : {QSize(900, 600), QSize(1200, 800), QSize(700, 500)}) {
    w->resize(size);
    QApplication::processEvents();
    EXPECT_EQ(c.ZoomPanel()->x(), 0);
    EXPECT_EQ(c.ZoomPanel()->y() + c.ZoomPanel()->height(), c.Plot()->height()) << size.width();
  }
}

TEST_F(DisplayTest, FiveSeriesWithTheirColoursAndAxes) {
  auto& c = *w->Live().Chart();
  struct Case {
    QCPGraph* series;
    QColor colour;
    QCPAxis* axis;
  };
  const Case cases[] = {
      {c.Series(kSeries1), QColor(0, 0, 255), c.Plot()->yAxis},
      {c.Series(kSeries2), QColor(255, 0, 0), c.Plot()->yAxis2},
      {c.Series(kSeries3), QColor(64, 128, 128), c.Plot()->yAxis},
      {c.Series(kSeries4), QColor(255, 0, 255), c.Plot()->yAxis2},
      {c.Series(kSeries5), QColor(0, 128, 0), c.CustomAxis()},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(k.series->pen().color(), k.colour) << k.series->pen().color().name().toStdString();
    EXPECT_EQ(k.series->valueAxis(), k.axis);
    EXPECT_EQ(k.series->keyAxis(), c.Plot()->xAxis);
    EXPECT_EQ(k.series->scatterStyle().shape(), QCPScatterStyle::ssNone);
    EXPECT_TRUE(k.series->adaptiveSampling());
  }
  EXPECT_EQ(c.Plot()->yAxis->range(), QCPRange(0, 10200));
  EXPECT_EQ(c.CustomAxis()->range(), QCPRange(0, 20.4));
}

}  // namespace
