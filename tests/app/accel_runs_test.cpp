// Acceleration runs kept and compared without the window: the runs file's
// rows and its refusals, the journal that writes each run as it ends, the
// totals over the same bands and the summary by correction.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "app/accel/measurement.h"
#include "app/accel/runs_file.h"
#include "app/accel/runs_journal.h"
#include "app/accel/summary.h"
#include "app/accel/summary_panel.h"
#include "app/accel/table_model.h"
#include "common/paths.h"
#include "tests/support/test_ui.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

AccelRunRecord Record(int number, double corr, std::vector<double> bands, bool deleted = false) {
  AccelRunRecord r;
  r.number = number;
  r.time = "2026-12-09 10:18:52";
  r.corrUOZ = corr;
  r.rpmLimit = 1100;
  r.avgAngle = 360;
  r.filterLen = 3;
  for (std::size_t i = 0; i < bands.size(); ++i)
    if (bands[i] > 0) r.bands[i] = bands[i];
  r.deleted = deleted;
  return r;
}

std::string FileOf(const std::vector<AccelRunRecord>& runs) {
  std::string text = RunsFileHeader() + "\r\n";
  for (const AccelRunRecord& r : runs) text += FormatRunRow(r) + "\r\n";
  return text;
}

TEST(RunsFile, RowsReadBackAsWrittenAndTheDeletedFlagIsTheRowsLastByte) {
  EXPECT_EQ(RunsFileHeader(),
            "Run,Time,CorrUOZ,RPMLimit,AvgAngle,FilterLen,2000-2500,2500-3000,3000-3500,3500-4000,4000-4500,"
            "4500-5000,5000-5500,5500-6000,6000-6500,6500-7000,7000-7500,Total,Deleted");
  const AccelRunRecord a = Record(1, -2.5, {0, 0.4125, 0.3, 0.25});
  const AccelRunRecord b = Record(2, 3, {0.5, 0.41, 0.3}, true);
  EXPECT_EQ(FormatRunRow(a), "1,2026-12-09 10:18:52,-2.5,1100,360,3,,0.413,0.300,0.250,,,,,,,,0.963,0");
  const std::string text = FileOf({a, b});
  RunsFileContent c;
  ASSERT_EQ(ParseRunsFile(text, c), "");
  ASSERT_EQ(c.runs.size(), 2u);
  EXPECT_EQ(c.runs[1].corrUOZ, 3.0);
  EXPECT_TRUE(c.runs[1].deleted);
  EXPECT_FALSE(c.runs[0].bands[0]);
  EXPECT_DOUBLE_EQ(*c.runs[0].bands[1], 0.413);
  EXPECT_EQ(c.runs[0].time, a.time);
  EXPECT_EQ(text[c.deletedFlagAt.at(1)], '0');
  EXPECT_EQ(text[c.deletedFlagAt.at(2)], '1');
  EXPECT_EQ(text.substr(c.deletedFlagAt.at(1) + 1, 2), "\r\n");
}

TEST(RunsFile, RefusedFilesNameTheLine) {
  const std::string good = FileOf({Record(1, 0, {0.3}), Record(2, 1, {0.3})});
  const std::string row2 = FormatRunRow(Record(2, 1, {0.3}));
  struct Case {
    std::string text;
    std::string says;
  } cases[] = {
      {"Time,THR,RPM\r\n0.000,1,2\r\n", "лог данных"},
      {"a,b\r\n1,2\r\n", "строке 1"},
      {good + "3,x\r\n", "строка 4: полей 2 вместо 19"},
      {good + "3,t,abc" + row2.substr(row2.find(",1100")) + "\r\n", "строка 4: в поле CorrUOZ не число"},
      {good + "3,t,0.3" + row2.substr(row2.find(",1100")) + "\r\n", "строка 4: коррекция 0.3"},
      {good + row2 + "\r\n", "строка 4: номер замера 2 уже был в строке 3"},
      {RunsFileHeader() + "\r\n", "нет ни одного замера"},
  };
  for (const Case& k : cases) {
    RunsFileContent c;
    const std::string why = ParseRunsFile(k.text, c);
    EXPECT_NE(why.find(k.says), std::string::npos) << k.says << " / " << why;
  }
  // A last line cut by a crash is left out, not refused; the file is kept up
  // to the rows before it.
  for (const std::size_t cutBy : {10u, 2u}) {
    RunsFileContent c;
    EXPECT_EQ(ParseRunsFile(good.substr(0, good.size() - cutBy), c), "");
    EXPECT_EQ(c.runs.size(), 1u);
    EXPECT_EQ(c.size, good.size() - row2.size() - 2);
    EXPECT_EQ(
        SkipReportText(c.skips, c.dataLines, "файл замеров"),
        "Пропущено строк: 1 из 2.\n— последняя строка 3 оборвана: файл замеров не был дописан до конца.");
  }
}

class RunsJournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("accel_runs_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    SetAppDirOverride(dir_.string());
    m.OnRunEnd([this] { journal->WritePending(table); });
  }
  void TearDown() override {
    SetAppDirOverride("");
    journal.reset();  // Windows removes no file that is still open
    fs::remove_all(dir_);
  }
  // A run through 2000 .. 3000 rpm in samples dt long, at a correction.
  void Run(double dt, double corr) {
    for (int rpm : {1500, 2000, 2500, 3000})
      m.Step(AccelSample{static_cast<std::uint16_t>(rpm), 0, dt, corr, 360}, 1100, false);
    m.Step(AccelSample{800, 0, dt, corr, 360}, 1100, false);
  }
  RunsFileContent Parsed() {
    RunsFileContent c;
    EXPECT_EQ(ParseRunsFile(ReadFile(journal->Path()), c), "");
    return c;
  }

  fs::path dir_;
  RecordingUi ui;
  AccelTableModel table;
  AccelMeasurement m{table};
  std::optional<AccelRunsJournal> journal{std::in_place, ui};
};

TEST_F(RunsJournalTest, EachRunIsInTheFileWhenItEndsAndAFailedOneFollowsWithTheNext) {
  // Logs cannot be made (a file is in its way): told once, the runs wait.
  std::ofstream(dir_ / "Logs") << "x";
  Run(0.1, -1);
  Run(0.2, -1);
  EXPECT_FALSE(journal->IsOpen());
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find("запись повторится"), std::string::npos);
  EXPECT_EQ(table.RunCount(), 2);

  fs::remove(dir_ / "Logs");
  Run(0.15, 1.5);
  ASSERT_TRUE(journal->IsOpen());
  const fs::path path = journal->Path();
  EXPECT_EQ(path.parent_path(), fs::path(LogsDirPath()));
  EXPECT_EQ(path.filename().string().substr(19), "_runs.csv");
  RunsFileContent c = Parsed();
  ASSERT_EQ(c.runs.size(), 3u);
  EXPECT_EQ(c.runs[0].number, 1);
  EXPECT_DOUBLE_EQ(*c.runs[0].bands[0], 0.1);
  EXPECT_DOUBLE_EQ(*c.runs[2].bands[1], 0.15);
  EXPECT_EQ(c.runs[2].corrUOZ, 1.5);
  EXPECT_EQ(c.runs[2].avgAngle, 360);
  EXPECT_EQ(table.Run(3).fileNumber, 3);

  // A run in progress is not in the file; it is once it ends.
  m.Step(AccelSample{1500, 0, 0.1, 0, 360}, 1100, false);
  EXPECT_EQ(Parsed().runs.size(), 3u);
  m.EndRun();
  EXPECT_EQ(Parsed().runs.size(), 4u);

  // Each run's samples are beside it, as plotted.
  const SamplesContent s = ParseSamplesFile(ReadFile(SamplesPathFor(path.string())));
  ASSERT_TRUE(s.valid);
  ASSERT_EQ(s.runs.at(3).size(), 4u);
  EXPECT_FLOAT_EQ(s.runs.at(3)[3].time, 0.6f);
  EXPECT_EQ(s.runs.at(3)[3].rpm, 3000);

  journal->MarkDeleted(2);
  c = Parsed();
  EXPECT_FALSE(c.runs[0].deleted);
  EXPECT_TRUE(c.runs[1].deleted);
  EXPECT_EQ(ui.errors.size(), 1u);
}

TEST_F(RunsJournalTest, AfterARowCutByACrashTheNextRunTakesANewNumber) {
  Run(0.1, -1);
  Run(0.2, 1);
  const std::string path = journal->Path();
  // The crash struck while run 2's row was written; its samples are in. The
  // program is gone, its files closed (Windows lets no one else write to them before).
  journal.emplace(ui);
  const std::string text = ReadFile(path);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text.substr(0, text.size() - 5);
  OpenedRuns opened = ReadRunsFiles(path);
  ASSERT_EQ(opened.error, "");
  EXPECT_EQ(opened.runs.runs.size(), 1u);
  ASSERT_TRUE(journal->Continue(opened));
  table.Load(opened.runs.runs, std::move(opened.samples.runs));

  Run(0.3, 2);
  const RunsFileContent c = Parsed();
  ASSERT_EQ(c.runs.size(), 2u);
  EXPECT_EQ(c.runs[1].number, 3);
  EXPECT_EQ(c.runs[1].corrUOZ, 2);
  EXPECT_EQ(ParseSamplesFile(ReadFile(SamplesPathFor(path))).runs.at(3).size(), 4u);
}

TEST(ComparedBands, TotalsCompareOnlyTheSameBands) {
  const auto bands = [](std::vector<double> v) {
    RunBands b{};
    for (std::size_t i = 0; i < v.size(); ++i)
      if (v[i] > 0) b[i] = v[i];
    return b;
  };
  // Two full runs and one lifted at 4000 rpm: the short one is not compared.
  const std::vector<RunBands> runs = {bands({.3, .3, .3, .3, .3, .3}), bands({.3, .3, .3, .3, .3, .3}),
                                      bands({.2, .2, .2, .2})};
  const BandRange r = ComparedBands(runs);
  EXPECT_EQ(r.first, 1);
  EXPECT_EQ(r.last, 6);
  EXPECT_DOUBLE_EQ(*TotalOver(runs[0], r), 1.8);
  EXPECT_FALSE(TotalOver(runs[2], r));
  EXPECT_EQ(ComparedBandsText(r, 1),
            "Время от 2000 до 5000 об/мин; не учтено замеров, не прошедших эти полосы: 1.");
  // With a limiter near a boundary half the runs get one band more: all are
  // compared over the bands they share.
  const std::vector<RunBands> limiter = {bands({.3, .3, .3}), bands({.3, .3, .3, .5}), bands({.3, .3, .3}),
                                         bands({.3, .3, .3, .5})};
  EXPECT_EQ(ComparedBands(limiter).last, 3);
}

TEST(CorrectionSummary, SortedByMeanAndCertainOnlyBeyondBothSpreads) {
  // 2.0: 4.0 4.1 4.2 (mean 4.1, sd 0.1); 0.0: 4.4 4.5 4.6; -1.5: 4.3 alone.
  std::vector<ComparedRun> runs = {{0, 4.4}, {2, 4.0}, {-1.5, 4.3}, {0, 4.5}, {2, 4.1}, {0, 4.6}, {2, 4.2}};
  CorrectionSummary s = SummarizeByCorrection(runs);
  ASSERT_EQ(s.groups.size(), 3u);
  EXPECT_EQ(CorrectionText(s.groups[0].corrUOZ), "2.0");
  EXPECT_EQ(CorrectionText(s.groups[1].corrUOZ), "-1.5");
  EXPECT_EQ(s.groups[0].count, 3);
  EXPECT_EQ(MeanText(s.groups[0]), "4.100");
  EXPECT_EQ(SpreadText(s.groups[0]), "± 0.100");
  EXPECT_EQ(SpreadText(s.groups[1]), "—");
  // The next one has a single run: more are needed, however large the lead.
  EXPECT_EQ(s.verdict, SummaryVerdict::MoreRunsNeeded);
  EXPECT_EQ(
      VerdictText(s),
      "Быстрее всего пока коррекция 2.0, но нужно больше замеров: не меньше 3 при коррекциях 2.0 и -1.5.");

  runs.erase(runs.begin() + 2);  // without -1.5: 4.1 ± 0.1 against 4.5 ± 0.1, a lead of 0.4 > 0.2
  s = SummarizeByCorrection(runs);
  EXPECT_EQ(s.verdict, SummaryVerdict::Certain);
  EXPECT_EQ(VerdictText(s),
            "Быстрее всего коррекция 2.0: надёжно, разница со следующей (0.0) больше суммы разбросов.");

  // A lead within the spreads is not certain.
  s = SummarizeByCorrection({{2, 4.0}, {2, 4.1}, {2, 4.4}, {0, 4.2}, {0, 4.3}, {0, 4.4}});
  EXPECT_EQ(s.verdict, SummaryVerdict::MoreRunsNeeded);
  EXPECT_NE(VerdictText(s).find("не больше суммы разбросов"), std::string::npos);
  // Two runs show their range.
  s = SummarizeByCorrection({{-0.5, 4.31}, {-0.5, 4.2}});
  EXPECT_EQ(SpreadText(s.groups[0]), "4.200 - 4.310");
  EXPECT_EQ(s.verdict, SummaryVerdict::OneCorrection);
}

TEST(CorrectionSummary, TotalsThatReadTheSameAreATieInTheTableAndThePanel) {
  // 2.501 + 3.022 and 2.52 + 3.003 both read 5.523; the earlier run is at -1.5.
  AccelTableModel table;
  table.AddRun(-1.5);
  table.SetBandTime(1, 2.5012);
  table.SetBandTime(2, 3.0218);
  table.AddRun(-3.0);
  table.SetBandTime(1, 2.5198);
  table.SetBandTime(2, 3.0031);
  ASSERT_EQ(table.Cell(1, AccelTableModel::kTotalRow), table.Cell(2, AccelTableModel::kTotalRow));
  EXPECT_TRUE(table.IsBest(1, AccelTableModel::kTotalRow));

  const CorrectionSummary s = SummarizeByCorrection(table.ComparedRuns());
  EXPECT_EQ(s.verdict, SummaryVerdict::Tie);
  EXPECT_EQ(VerdictText(s), "Коррекции -1.5 и -3.0 пока равны по времени, нужно больше замеров.");
  TSummaryPanel panel(nullptr);
  panel.ShowSummary(s, table.ComparedRange(), 0);
  EXPECT_EQ(panel.findChild<QLabel*>("lblVerdict")->text().toStdString(), VerdictText(s));
  const QTableWidget& rows = *panel.findChild<QTableWidget*>("grdSummary");
  EXPECT_EQ(rows.item(0, 0)->text(), "-1.5");
  // Both rows carry the highlight, neither in bold.
  EXPECT_EQ(rows.item(0, 2)->background(), rows.item(1, 2)->background());
  EXPECT_NE(rows.item(0, 2)->background().style(), Qt::NoBrush);
  EXPECT_FALSE(rows.item(1, 2)->font().bold());

  // A mean a fraction of a millisecond lower is still the same as shown.
  EXPECT_EQ(SummarizeByCorrection({{0, 4.2}, {2, 4.2001}, {2, 4.1999}}).verdict, SummaryVerdict::Tie);
  EXPECT_EQ(SummarizeByCorrection({{0, 4.2}, {2, 4.199}}).groups[0].corrUOZ, 2.0);
}

}  // namespace
