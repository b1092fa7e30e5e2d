// Reading a CSV log back: the values as the log wrote them, a log cut off by
// a crash, and files of another shape.
#include "ecu/csvlog_reader.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/log_rows.h"

namespace {

LogReadResult Parse(const std::string& text, std::size_t piece = 0) {
  LogParser parser(text.size());
  if (piece == 0) piece = text.size() + 1;
  for (std::size_t at = 0; at < text.size(); at += piece)
    parser.Feed(std::string_view(text).substr(at, piece));
  return parser.Finish();
}

TEST(CsvLogReader, ValuesComeBackAsTheLogWroteThem) {
  const std::vector<std::string> rows = RandomLogRows(300, 17);
  std::vector<std::string> lines{LogHeader()};
  lines.insert(lines.end(), rows.begin(), rows.end());
  // Pieces of 7 bytes cut lines, numbers and line ends everywhere.
  for (const std::size_t piece : {std::size_t{0}, std::size_t{7}}) {
    SCOPED_TRACE(piece);
    const LogReadResult r = Parse(LogText(lines), piece);
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.SkipReport(), "");
    const LogTable& t = r.table;
    ASSERT_EQ(t.RowCount(), rows.size());
    ASSERT_EQ(t.Names(), LogVariableNames());
    EXPECT_TRUE(t.Column(*t.IndexOf("ERR")).Wide());
    EXPECT_FALSE(t.Column(*t.IndexOf("TCHARGE")).Wide());
    EXPECT_FALSE(t.Column(*t.IndexOf("RPM")).Wide());
    for (std::size_t row = 0; row < rows.size(); ++row) {
      const std::vector<std::string> f = LogFields(rows[row]);
      ASSERT_EQ(t.Times()[row], std::stod(f[0])) << "row " << row;
      for (std::size_t var = 0; var < t.Names().size(); ++var)
        ASSERT_EQ(std::stod(t.FormatValue(var, row)), std::stod(f[var + 1]))
            << t.Names()[var] << " row " << row << ": " << f[var + 1];
    }
  }
  // Half-way between two rows the earlier one is nearest; past the ends, the ends.
  const LogTable t = Parse(LogText(lines)).table;
  EXPECT_EQ(t.NearestRow((t.Times()[4] + t.Times()[5]) / 2), 4u);
  EXPECT_EQ(t.NearestRow(t.Times()[5] - 0.001), 5u);
  EXPECT_EQ(t.NearestRow(-5), 0u);
  EXPECT_EQ(t.NearestRow(1e9), rows.size() - 1);
}

TEST(CsvLogReader, ACutLogShowsItsCompleteRowsAndSaysWhatWasSkipped) {
  const std::vector<std::string> rows = RandomLogRows(6, 3);
  std::string text = LogText({LogHeader(), rows[0], rows[1]});
  text += rows[2].substr(0, rows[2].rfind(',')) + "\r\n";  // line 4: a field short
  std::string notNumber = rows[3];
  notNumber.replace(notNumber.find(',', notNumber.find(',') + 1), 0, "x");  // line 5: THR "…x"
  text += notNumber + "\r\n";
  text += "\r\n";  // a blank line is no row and no fault
  text += LogText({rows[4]});
  // The crash: the last row stops part way, in a value, with zero bytes after.
  text += rows[5].substr(0, rows[5].size() / 2) + std::string(300, '\0');

  const LogReadResult r = Parse(text, 64);
  ASSERT_EQ(r.error, "");
  ASSERT_EQ(r.table.RowCount(), 3u);
  EXPECT_EQ(r.table.Times()[2], std::stod(LogFields(rows[4])[0]));
  EXPECT_EQ(r.dataLines, 6u);
  EXPECT_EQ(r.SkippedLines(), 3u);
  EXPECT_EQ(r.SkipReport(),
            "Пропущено строк: 3 из 6.\n"
            "— с неверным числом полей: 1 (первая — строка 4, полей 89 вместо 90);\n"
            "— с нечисловым значением: 1 (первая — строка 5, столбец THR);\n"
            "— последняя строка 8 оборвана: лог не был дописан до конца.");

  // A last row that lacks only the LF of its line end is complete.
  const std::string lastLf = LogText({LogHeader(), rows[0], rows[1]});
  EXPECT_EQ(Parse(lastLf.substr(0, lastLf.size() - 1)).table.RowCount(), 2u);
  // Time running backwards cannot be drawn.
  const LogReadResult back = Parse(LogText({LogHeader(), rows[3], rows[0], rows[4]}));
  EXPECT_EQ(back.table.RowCount(), 2u);
  EXPECT_NE(back.SkipReport().find("со временем меньше, чем в строке перед ней: 1 (первая — строка 3)"),
            std::string::npos);
}

TEST(CsvLogReader, AFileOfAnotherShapeIsRefusedNamingWhatIsMissing) {
  const std::string row = RandomLogRows(1, 5)[0];
  std::string noRpm = LogHeader();
  noRpm.erase(noRpm.find(",RPM,"), 4);
  noRpm.erase(noRpm.find(",KNOCK"), 6);
  std::string semicolons = LogHeader();
  std::replace(semicolons.begin(), semicolons.end(), ',', ';');
  const struct {
    std::string text, error;
  } cases[] = {
      {"", "Файл пуст: в нём нет строки заголовка с именами столбцов лога."},
      {LogText({noRpm, row}), "Это не лог программы: в строке заголовка нет столбцов RPM, KNOCK."},
      {LogText({semicolons, row}),
       "Это не лог программы: в строке заголовка нет столбцов Time, THR, RPM, RPM40, RPM_GBC_RT, UFRXX, SSM, "
       "TWAT, TAIR, ALF и ещё 80."},
      {LogText({LogHeader()}), "В логе нет ни одной полной строки данных."},
      {std::string(70000, '\x01') + "\n", "Это не лог программы: первая строка файла длиннее 64 КБ."},
  };
  for (const auto& c : cases) {
    const LogReadResult r = Parse(c.text, 1000);
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.table.RowCount(), 0u);
  }
  // The columns are found by name: another order and extra columns still read.
  const std::vector<std::string> names = LogFields(LogHeader()), values = LogFields(row);
  std::string header = "Note", reordered = "x";
  for (std::size_t i = names.size(); i-- > 0;) {
    header += "," + names[i];
    reordered += "," + values[i];
  }
  const LogReadResult r = Parse(LogText({header, reordered}));
  ASSERT_EQ(r.error, "");
  EXPECT_EQ(r.table.FormatValue(*r.table.IndexOf("THR"), 0), values[1]);

  EXPECT_EQ(ReadLogFile("/nonexistent/varnek.csv").error, "Файл не найден.");
}

}  // namespace
