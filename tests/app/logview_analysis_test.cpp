// What the log view's analysis pages compute, without widgets: the rows the
// filters leave out, formulas refused with their position, a division by
// zero leaving its row empty.
#include <gtest/gtest.h>

#include <cmath>

#include "app/logview/analysis.h"
#include "app/logview/channels.h"
#include "app/logview/formula.h"
#include "ecu/csvlog.h"
#include "ecu/ecu_data.h"
#include "tests/support/log_rows.h"

namespace {

LogTable Parse(const std::vector<EcuDataRecord>& records) {
  std::vector<std::string> lines{LogHeader()};
  for (std::size_t i = 0; i < records.size(); ++i)
    lines.push_back(FormatLogRow(records[i], static_cast<std::int64_t>(40 * i)));
  LogParser parser;
  parser.Feed(LogText(lines));
  LogReadResult r = parser.Finish();
  EXPECT_EQ(r.SkippedLines(), 0u);
  return std::move(r.table);
}

TEST(LogFilterRows, EachFilterLeavesOutExactlyTheRowsItNames) {
  std::vector<EcuDataRecord> rows(10);
  const int thr[] = {10, 10, 10, 10, 20, 23, 17, 17, 22, 22};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].THR = static_cast<std::uint8_t>(thr[i]);
    rows[i].AFR_LC1 = 14.7;
  }
  rows[1].fXX = 1;
  rows[2].fFUELOFF = 1;
  rows[3].AFR_LC1 = -1.0;
  rows[9].AFR_LC1 = -1.5;  // a reading, if an odd one: stays
  // Rows 4 (THR +10) and 6 (-6) are transients; row 8 (+5, the limit itself) is not.
  const LogTable table = Parse(rows);
  LogChannels channels;
  channels.Reset(&table, {});
  auto pass = [&](const LogFilters& f, double from = 0, double to = 0) {
    return FilterRows(channels, table, f, from, to);
  };
  using Rows = std::vector<std::uint32_t>;
  const LogFilters all;
  EXPECT_EQ(pass(all), (Rows{0, 5, 7, 8, 9}));
  LogFilters f = all;
  f.idle = false;
  EXPECT_EQ(pass(f), (Rows{0, 1, 5, 7, 8, 9}));
  f = all;
  f.fuelCut = false;
  EXPECT_EQ(pass(f), (Rows{0, 2, 5, 7, 8, 9}));
  f = all;
  f.noLambda = false;
  EXPECT_EQ(pass(f), (Rows{0, 3, 5, 7, 8, 9}));
  f = all;
  f.transients = false;
  EXPECT_EQ(pass(f), (Rows{0, 4, 5, 6, 7, 8, 9}));
  f.transientLimit = 0;  // off, whatever the limit
  EXPECT_EQ(pass(f), (Rows{0, 4, 5, 6, 7, 8, 9}));
  f = all;
  f.transientLimit = 2;  // row 7's change of 0 passes, row 5's +3 no longer
  EXPECT_EQ(pass(f), (Rows{0, 7, 9}));
  f = all;
  f.visibleOnly = true;  // rows 3 to 6 are shown (0.12 s to 0.24 s)
  EXPECT_EQ(pass(f, 0.12, 0.24), (Rows{5}));
  f.visibleOnly = false;
  EXPECT_EQ(pass(f, 0.12, 0.24), pass(all));
}

TEST(ComputedChannelFormula, AnUnknownColumnOrASyntaxErrorIsRefusedSayingWhereAndWhy) {
  const auto& names = LogVariableNames();
  EXPECT_FALSE(CheckFormula("AFR_LC1/AFR", names));
  EXPECT_FALSE(CheckFormula("RPM*THR/100", names));
  EXPECT_FALSE(CheckFormula("UOZ-KUOZ1", names));
  EXPECT_FALSE(CheckFormula("fXX ? 0 : max(INJ, 2)", names));

  auto refused = [&](const std::string& formula) {
    const auto e = CheckFormula(formula, names);
    EXPECT_TRUE(e) << formula;
    return e ? e->Text() : std::string();
  };
  EXPECT_EQ(refused("AFR_LC1/AFRX"), "в позиции 9: столбца «AFRX» в логе нет");
  EXPECT_EQ(refused("rpm*2"), "в позиции 1: столбца «rpm» в логе нет");  // names match case
  EXPECT_EQ(refused("RPM*(THR+1"), "в позиции 11: скобки не сходятся");
  EXPECT_EQ(refused("RPM**2"), "в позиции 5: здесь не может стоять «*»");
  EXPECT_EQ(refused("RPM THR"), "в позиции 5: здесь не может стоять «THR»");
  EXPECT_EQ(refused(""), "в позиции 1: формула пуста");
  EXPECT_EQ(refused("RPM, THR"), "в позиции 1: нужно одно выражение, без запятых между ними");

  // A channel cannot take a column's name or a separator the settings use.
  EXPECT_EQ(CheckChannelName("RPM", names, {}), "«RPM» — это столбец лога");
  EXPECT_EQ(CheckChannelName("a;b", names, {}), "в имени канала не может быть знаков ; , : =");
  EXPECT_EQ(CheckChannelName("K", names, {{"K", "RPM"}}), "канал «K» уже есть");
}

TEST(ComputedChannelFormula, DivisionByZeroLeavesThatRowEmpty) {
  std::vector<EcuDataRecord> rows(4);
  const double lc1[] = {14.7, 13.0, 0, 16.0};
  const double alf[] = {1.0, 0, 0, 2.0};  // AFR = ALF * 14.7
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].AFR_LC1 = lc1[i];
    rows[i].ALF = alf[i];
    rows[i].AFR = alf[i] * 14.7;
  }
  const LogTable table = Parse(rows);
  LogChannels channels;
  channels.Reset(&table, {{"LC1/AFR", "AFR_LC1/AFR"}, {"bad", "AFR_LC1/"}});
  const std::size_t ratio = *channels.IndexOf("LC1/AFR");
  ASSERT_TRUE(channels.IsComputed(ratio));
  EXPECT_NEAR(channels.Value(ratio, 0), 1.0, 1e-3);
  EXPECT_TRUE(std::isnan(channels.Value(ratio, 1)));  // 13 / 0
  EXPECT_TRUE(std::isnan(channels.Value(ratio, 2)));  // 0 / 0
  EXPECT_NEAR(channels.Value(ratio, 3), 16.0 / 29.4, 1e-6);
  EXPECT_EQ(channels.FormatValue(ratio, 1), "");
  EXPECT_EQ(channels.FormatValue(ratio, 3), "0.544");
  EXPECT_NEAR(channels.Min(ratio), 16.0 / 29.4, 1e-6);  // the empty rows count for nothing
  // A formula refused (kept from an older cfg.ini) gives no values at all.
  EXPECT_TRUE(std::isnan(channels.Value(*channels.IndexOf("bad"), 0)));

  // Nor in the statistics: the empty rows leave the cell, histogram and range alone.
  const std::vector<std::uint32_t> all{0, 1, 2, 3};
  CellTable cells;
  cells.Compute(all, channels.Values(*channels.IndexOf("RPM")), channels.Values(*channels.IndexOf("RPM")),
                channels.Values(ratio), {0, 1000}, {0, 1000});
  EXPECT_EQ(cells.At(0, 0).hits, 2u);
  EXPECT_EQ(StatsOverRows(channels.Values(ratio), 0, 3).count, 2u);
  EXPECT_EQ(ComputeHistogram(all, channels.Values(ratio), 4).counts,
            (std::vector<std::uint32_t>{1, 0, 0, 1}));
}

}  // namespace
