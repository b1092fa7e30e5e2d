// The acceleration measurement: moving average, run detection, band timing,
// the fastest run per row and the Delete key.
#include <gtest/gtest.h>

#include <vector>

#include "app/accel/filter.h"
#include "app/accel/measurement.h"
#include "app/accel/table_model.h"
#include "app/accel/table_paint.h"

namespace {

constexpr int kLimit = 1100;

struct Bench {
  AccelTableModel table;
  AccelMeasurement m{table};

  AccelStepResult Step(int rpm, double dt = 0.1, double accel = 0, double corr = 0, bool paused = false) {
    return m.Step(AccelSample{static_cast<std::uint16_t>(rpm), accel, dt, corr}, kLimit, paused);
  }
  // A run from rpm `from` to `to` in steps of `step` rpm, each sample dt
  // seconds long, then a fall to idle.
  void Run(int from, int to, int step, double dt, double corr = 0) {
    for (int rpm = from; rpm <= to; rpm += step) Step(rpm, dt, 0, corr);
    Step(800, dt);
  }
};

TEST(AccelFilter, AveragesLastLPlusOneSamples) {
  struct Case {
    int length;
    std::vector<double> in, out;
  };
  const Case cases[] = {
      {0, {3, 6, 9, 12}, {3, 6, 9, 12}},
      {2, {3, 6, 9, 12}, {3, 4.5, 6, 9}},
      {1, {2, 4, 8}, {2, 3, 6}},
      {3, {4, 4, 4, 4, 8}, {4, 4, 4, 4, 5}},
  };
  for (const Case& c : cases) {
    AccelFilter f;
    f.Reset(c.length);
    for (size_t i = 0; i < c.in.size(); ++i)
      EXPECT_DOUBLE_EQ(f.Add(c.in[i]), c.out[i]) << "L=" << c.length << " sample " << i;
    EXPECT_EQ(f.Count(), std::min<int>(c.length, static_cast<int>(c.in.size())));
  }
}

TEST(AccelFilter, ResetStartsOverWithZerosAndClampsTheLength) {
  AccelFilter f;
  f.Reset(2);
  f.Add(100);
  f.Add(100);
  f.Reset(2);
  EXPECT_EQ(f.Count(), 0);
  EXPECT_DOUBLE_EQ(f.Add(6), 6);
  f.Reset(50);
  EXPECT_EQ(f.Length(), 20);
  f.Reset(-1);
  EXPECT_EQ(f.Length(), 0);
}

TEST(AccelMeasurement, FilterRunsBetweenRunsToo) {
  Bench b;
  b.m.ResetFilter(2);
  b.Step(800, 0.1, 3);
  b.Step(800, 0.1, 6);
  b.Step(800, 0.1, 9);
  EXPECT_FALSE(b.m.RunInProgress());
  const AccelStepResult r = b.Step(1500, 0.1, 12);
  ASSERT_EQ(r.chart.pointCount, 2u);
  EXPECT_EQ(r.chart.points[1].series, kSeries2);
  EXPECT_DOUBLE_EQ(r.chart.points[1].y, 9);
}

TEST(AccelMeasurement, RunStartsAboveLimitAndEndsAtNineTenths) {
  Bench b;
  b.Step(1100);
  EXPECT_FALSE(b.m.RunInProgress());
  EXPECT_EQ(b.table.RunCount(), 0);
  AccelStepResult r = b.Step(1101);
  EXPECT_TRUE(b.m.RunInProgress());
  EXPECT_TRUE(r.newColumn);
  EXPECT_TRUE(r.chart.currentToPrevious);
  EXPECT_EQ(b.table.RunCount(), 1);
  b.Step(991);
  EXPECT_TRUE(b.m.RunInProgress());
  b.Step(990);
  EXPECT_FALSE(b.m.RunInProgress());
  EXPECT_EQ(b.m.ElapsedTime(), 0);
  // The column stays; the next run opens a new one.
  b.Step(1200);
  EXPECT_EQ(b.table.RunCount(), 2);
}

TEST(AccelMeasurement, EndThresholdIsExactForEveryLimit) {
  // 0.9 × limit is computed without rounding: at exactly nine tenths the run ends.
  for (int limit = 100; limit <= 1900; limit += 100) {
    AccelTableModel table;
    AccelMeasurement m(table);
    m.Step({static_cast<std::uint16_t>(limit + 1), 0, 0.1, 0}, limit, false);
    m.Step({static_cast<std::uint16_t>(limit * 9 / 10 + 1), 0, 0.1, 0}, limit, false);
    EXPECT_TRUE(m.RunInProgress()) << limit;
    m.Step({static_cast<std::uint16_t>(limit * 9 / 10), 0, 0.1, 0}, limit, false);
    EXPECT_FALSE(m.RunInProgress()) << limit;
  }
}

TEST(AccelMeasurement, RunPlotsRpmAndAverageAgainstElapsedTime) {
  Bench b;
  AccelStepResult r = b.Step(1500, 0.25, 7);
  ASSERT_EQ(r.chart.pointCount, 2u);
  EXPECT_EQ(r.chart.points[0].series, kSeries1);
  EXPECT_DOUBLE_EQ(r.chart.points[0].x, 0.25);
  EXPECT_DOUBLE_EQ(r.chart.points[0].y, 1500);
  EXPECT_EQ(r.chart.points[1].series, kSeries2);
  EXPECT_DOUBLE_EQ(r.chart.points[1].y, 7);
  r = b.Step(1600, 0.25, 7);
  EXPECT_FALSE(r.chart.currentToPrevious);
  EXPECT_DOUBLE_EQ(r.chart.points[0].x, 0.5);
  // Outside a run nothing is plotted.
  r = b.Step(800, 0.25, 7);
  EXPECT_TRUE(r.chart.Empty());
}

TEST(AccelMeasurement, ColumnHeadedByTruncatedCorrection) {
  struct Case {
    double corr;
    const char* header;
  };
  const Case cases[] = {{-3.5, "-3"}, {2.5, "2"}, {-0.5, "0"}, {0, "0"}, {15, "15"}, {-15, "-15"}};
  for (const Case& c : cases) {
    Bench b;
    b.Step(1500, 0.1, 0, c.corr);
    EXPECT_EQ(b.table.Cell(1, 0), c.header) << c.corr;
    for (int r = 1; r <= 11; ++r) EXPECT_EQ(b.table.Cell(1, r), "");
  }
}

TEST(AccelMeasurement, RunFromBelow2000TimesFromThe2000Boundary) {
  Bench b;
  b.Step(1200, 0.1);
  EXPECT_EQ(b.m.NextBand(), 0);
  AccelStepResult r = b.Step(2000, 0.1);  // only starts the timing
  EXPECT_EQ(r.writtenRow, 0);
  EXPECT_FALSE(b.m.FirstBoundary());
  EXPECT_DOUBLE_EQ(b.m.BandStartTime(), 0.2);
  b.Step(2300, 0.1);
  r = b.Step(2500, 0.1);
  EXPECT_EQ(r.writtenRow, 1);
  EXPECT_EQ(b.table.Cell(1, 1), "0.2");
}

TEST(AccelMeasurement, RunFrom2600FillsRow3First) {
  Bench b;
  b.Step(2600, 0.1);
  EXPECT_EQ(b.m.NextBand(), 2);
  EXPECT_EQ(b.Step(3000, 0.1).writtenRow, 0);  // starts the timing only
  EXPECT_EQ(b.Step(3200, 0.125).writtenRow, 0);
  EXPECT_EQ(b.Step(3500, 0.125).writtenRow, 3);
  EXPECT_EQ(b.table.Cell(1, 3), "0.25");
  EXPECT_EQ(b.table.Cell(1, 1), "");
  EXPECT_EQ(b.table.Cell(1, 2), "");
}

TEST(AccelMeasurement, RunFrom2100FillsRow2First) {
  Bench b;
  b.Step(2100, 0.1);
  b.Step(2500, 0.1);
  EXPECT_EQ(b.Step(3000, 0.1).writtenRow, 2);
}

TEST(AccelMeasurement, AtMostOneBoundaryPerSample) {
  Bench b;
  b.Step(1500, 0.1);
  b.Step(2000, 0.1);                           // starts the timing
  EXPECT_EQ(b.Step(3100, 0.1).writtenRow, 1);  // jumps two boundaries: row 1 only
  EXPECT_EQ(b.Step(3100, 0.1).writtenRow, 2);  // the next one on the next sample
  EXPECT_EQ(b.table.Cell(1, 1), "0.1");
  EXPECT_EQ(b.table.Cell(1, 2), "0.1");
}

TEST(AccelMeasurement, TimesFormattedToThreeDecimals) {
  Bench b;
  b.Step(1900, 0.1);
  b.Step(2000, 0.1);
  b.Step(2500, 0.12345);
  EXPECT_EQ(b.table.Cell(1, 1), "0.123");
  b.Step(3000, 1.0);
  EXPECT_EQ(b.table.Cell(1, 2), "1");
}

TEST(AccelMeasurement, BandsAbove7500AreNotWritten) {
  Bench b;
  b.Step(1500, 0.1);
  for (int rpm = 2000; rpm <= 9000; rpm += 500) b.Step(rpm, 0.1);
  for (int r = 1; r <= 11; ++r) EXPECT_EQ(b.table.Cell(1, r), "0.1") << r;
  EXPECT_EQ(b.table.RunCount(), 1);
}

TEST(AccelMeasurement, NothingPlottedOrTimedAfter25Seconds) {
  Bench b;
  b.Step(1500, 0.1);
  b.Step(2000, 0.1);  // timing starts at 0.2 s
  AccelStepResult r;
  for (int i = 0; i < 248; ++i) r = b.Step(2100, 0.1);  // elapsed 25.0 s minus rounding
  b.Step(2200, 0.5);                                    // past 25 s
  EXPECT_GE(b.m.ElapsedTime(), 25.0);
  r = b.Step(2500, 0.1);
  EXPECT_EQ(r.chart.pointCount, 0u);
  EXPECT_EQ(r.writtenRow, 0);
  EXPECT_EQ(b.table.Cell(1, 1), "");
  EXPECT_TRUE(b.m.RunInProgress());
  b.Step(900, 0.1);  // ends as usual
  EXPECT_FALSE(b.m.RunInProgress());
  EXPECT_EQ(b.table.RunCount(), 1);
}

TEST(AccelMeasurement, PauseEndsTheRunAndKeepsItsColumn) {
  Bench b;
  b.Step(1500, 0.1);
  b.Step(2000, 0.1);
  AccelStepResult r = b.Step(2500, 0.1, 0, 0, /*paused=*/true);
  EXPECT_TRUE(r.chart.Empty());
  EXPECT_FALSE(b.m.RunInProgress());
  EXPECT_EQ(b.table.Cell(1, 1), "");
  // While paused no run starts; afterwards a new column opens.
  b.Step(3000, 0.1, 0, 0, true);
  EXPECT_EQ(b.table.RunCount(), 1);
  EXPECT_TRUE(b.Step(3000, 0.1).newColumn);
  EXPECT_EQ(b.table.RunCount(), 2);
}

TEST(AccelMeasurement, EndRunAtModeEntryClosesTheRun) {
  Bench b;
  b.Step(1500, 0.1);
  b.m.EndRun();
  EXPECT_FALSE(b.m.RunInProgress());
  EXPECT_TRUE(b.Step(1500, 0.1).newColumn);
  EXPECT_EQ(b.table.RunCount(), 2);
}

TEST(AccelMeasurement, ZeroDurationSampleDoesNotOpenASecondColumn) {
  Bench b;
  b.Step(1500, 0.0);
  b.Step(1600, 0.0);
  EXPECT_EQ(b.table.RunCount(), 1);
}

TEST(AccelTableModel, FastestRunHighlightedTiesKeepEarlierColumn) {
  Bench b;
  b.Run(1500, 3000, 500, 0.2);  // row 1: 0.2
  EXPECT_EQ(b.table.BestInRow(1).column, 1);
  b.Run(1500, 3000, 500, 0.1);  // row 1: 0.1, faster
  EXPECT_EQ(b.table.BestInRow(1).column, 2);
  b.Run(1500, 3000, 500, 0.1);  // a tie
  EXPECT_EQ(b.table.BestInRow(1).column, 2);
  EXPECT_TRUE(b.table.IsBest(2, 1));
  EXPECT_FALSE(b.table.IsBest(3, 1));
}

TEST(AccelTableModel, TimesThatReadTheSameAreATieBothOnAddAndAfterDelete) {
  Bench b;
  b.Run(1500, 2500, 500, 0.2503);
  b.Run(1500, 2500, 500, 0.2498);  // faster by 0.5 ms, but both read 0.25
  ASSERT_EQ(b.table.Cell(1, 1), "0.25");
  ASSERT_EQ(b.table.Cell(2, 1), "0.25");
  EXPECT_EQ(b.table.BestInRow(1).column, 1);
  b.Run(1500, 2500, 500, 0.1);
  ASSERT_EQ(b.table.BestInRow(1).column, 3);
  EXPECT_TRUE(b.m.DeleteRun(3));
  EXPECT_EQ(b.table.BestInRow(1).column, 1);
}

TEST(AccelTableModel, NewBestReportsTheColumnThatLostTheHighlight) {
  Bench b;
  b.Run(1500, 3000, 500, 0.2);
  b.Step(1500, 0.1);
  b.Step(2000, 0.1);
  AccelStepResult r = b.Step(2500, 0.1);
  EXPECT_EQ(r.writtenRow, 1);
  EXPECT_EQ(r.unhighlightColumn, 1);
  r = b.Step(3000, 0.1);
  EXPECT_EQ(r.writtenRow, 2);
  EXPECT_EQ(r.unhighlightColumn, 1);
}

TEST(AccelTableModel, ConnectForgetsHighlightsButKeepsCells) {
  Bench b;
  b.Run(1500, 3000, 500, 0.1);
  b.m.ResetBest();
  EXPECT_EQ(b.table.BestInRow(1).column, 0);
  EXPECT_EQ(b.table.Cell(1, 1), "0.1");
  EXPECT_EQ(b.table.RunCount(), 1);
  // The next measurement becomes the best even when slower.
  b.Run(1500, 3000, 500, 0.3);
  EXPECT_EQ(b.table.BestInRow(1).column, 2);
}

TEST(AccelTableModel, RowLabels) {
  EXPECT_EQ(AccelTableModel::RowLabel(1), "2000 - 2500");
  EXPECT_EQ(AccelTableModel::RowLabel(3), "3000 - 3500");
  EXPECT_EQ(AccelTableModel::RowLabel(11), "7000 - 7500");
  EXPECT_EQ(AccelTableModel::RowLabel(0), "");
  EXPECT_EQ(AccelTableModel::RowLabel(12), "Всего");
  EXPECT_EQ(AccelTableModel::RowLabel(13), "");
}

// Three runs with row-1 times 0.3, 0.1, 0.2 and headers -1, 0, 1.
struct ThreeRuns : Bench {
  ThreeRuns() {
    Run(1500, 2500, 500, 0.3, -1);
    Run(1500, 2500, 500, 0.1, 0);
    Run(1500, 2500, 500, 0.2, 1);
  }
};

TEST(AccelTableModel, DeletingTheBestColumnMovesHighlightToSmallestRemaining) {
  ThreeRuns b;
  ASSERT_EQ(b.table.BestInRow(1).column, 2);
  EXPECT_TRUE(b.m.DeleteRun(2));
  EXPECT_EQ(b.table.RunCount(), 2);
  EXPECT_EQ(b.table.Cell(1, 0), "-1");
  EXPECT_EQ(b.table.Cell(2, 0), "1");  // header moved with the times
  EXPECT_EQ(b.table.Cell(2, 1), "0.2");
  EXPECT_EQ(b.table.BestInRow(1).column, 2);
  EXPECT_DOUBLE_EQ(b.table.BestInRow(1).time, 0.2);
  // A row nobody measured stays without a best, and the next time takes it.
  EXPECT_EQ(b.table.BestInRow(5).column, 0);
}

TEST(AccelTableModel, DeletingColumnLeftOfBestMovesHighlightWithIt) {
  ThreeRuns b;
  EXPECT_TRUE(b.m.DeleteRun(1));
  EXPECT_EQ(b.table.BestInRow(1).column, 1);
  EXPECT_EQ(b.table.Cell(1, 1), "0.1");
  EXPECT_EQ(b.table.Cell(1, 0), "0");
}

TEST(AccelTableModel, DeletingColumnRightOfBestLeavesIt) {
  ThreeRuns b;
  EXPECT_TRUE(b.m.DeleteRun(3));
  EXPECT_EQ(b.table.BestInRow(1).column, 2);
}

TEST(AccelTableModel, FindBestTieTakesLeftmostAndEmptyRowHasNone) {
  Bench b;
  b.Run(1500, 2500, 500, 0.3);
  b.Run(1500, 2500, 500, 0.2);
  b.Run(1500, 2500, 500, 0.2);
  b.Run(1500, 2500, 500, 0.1);
  b.m.DeleteRun(4);
  EXPECT_EQ(b.table.BestInRow(1).column, 2);
  EXPECT_EQ(b.table.FindBestInRow(2).column, 0);
  EXPECT_DOUBLE_EQ(b.table.FindBestInRow(2).time, 99999.0);
}

TEST(AccelTableModel, DeletingTheOnlyRunLeavesLabelColumnAlone) {
  Bench b;
  b.Run(1500, 2500, 500, 0.1);
  EXPECT_TRUE(b.m.DeleteRun(1));
  EXPECT_EQ(b.table.RunCount(), 0);
  EXPECT_EQ(b.table.ColumnCount(), 1);
  EXPECT_EQ(b.table.BestInRow(1).column, 0);
  EXPECT_FALSE(b.m.DeleteRun(1));  // a further Delete does nothing
  EXPECT_FALSE(b.m.DeleteRun(0));  // the label column is never deleted
  // The next run becomes column 1 and the best.
  b.Run(1500, 2500, 500, 0.4);
  EXPECT_EQ(b.table.RunCount(), 1);
  EXPECT_EQ(b.table.BestInRow(1).column, 1);
}

TEST(AccelTableModel, DeletingRunningColumnEndsItsRunWithoutTouchingOthers) {
  Bench b;
  b.Run(1500, 3000, 500, 0.2);  // column 1: rows 1, 2
  b.Step(1500, 0.1);
  b.Step(2000, 0.1);
  b.Step(2500, 0.1);  // column 2, row 1
  ASSERT_TRUE(b.m.RunInProgress());
  EXPECT_TRUE(b.m.DeleteRun(2));
  EXPECT_FALSE(b.m.RunInProgress());
  EXPECT_EQ(b.table.BestInRow(1).column, 1);
  // The rest of that run-up lands nowhere and opens no column.
  b.Step(3000, 0.1);
  b.Step(3500, 0.1);
  EXPECT_EQ(b.table.RunCount(), 1);
  EXPECT_EQ(b.table.Cell(1, 2), "0.2");
  EXPECT_EQ(b.table.Cell(1, 3), "");
  // Once the speed has fallen to the end threshold the next run counts again.
  b.Step(991);
  EXPECT_EQ(b.table.RunCount(), 1);
  b.Step(990);
  EXPECT_TRUE(b.Step(1500).newColumn);
  EXPECT_EQ(b.table.RunCount(), 2);
}

TEST(AccelTableModel, DeletingEarlierColumnDuringRunKeepsRunningColumnLast) {
  Bench b;
  b.Run(1500, 3000, 500, 0.2);
  b.Step(1500, 0.1);
  b.Step(2000, 0.1);
  EXPECT_TRUE(b.m.DeleteRun(1));
  EXPECT_TRUE(b.m.RunInProgress());
  b.Step(2500, 0.1);
  EXPECT_EQ(b.table.Cell(1, 1), "0.1");
  EXPECT_EQ(b.table.BestInRow(1).column, 1);
}

TEST(AccelTablePaint, CellBackgrounds) {
  EXPECT_EQ(CellBackground(true, true), (Rgb{170, 210, 170}));
  EXPECT_EQ(CellBackground(true, false), (Rgb{192, 192, 192}));
  EXPECT_EQ(CellBackground(false, true), (Rgb{230, 250, 230}));
  EXPECT_EQ(CellBackground(false, false), (Rgb{255, 255, 255}));
  EXPECT_EQ(CellTextLeft(100, 20), 73);
}

}  // namespace
