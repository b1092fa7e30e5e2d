#include "app/accel/runs_file.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/error.h"
#include "common/format.h"

namespace {

constexpr const char* kFixedColumns[] = {"Run", "Time", "CorrUOZ", "RPMLimit", "AvgAngle", "FilterLen"};
constexpr std::size_t kFixedCount = std::size(kFixedColumns);
constexpr std::size_t kFieldCount = kFixedCount + kRunBands + 2;  // bands, Total, Deleted
// A runs file holds a row of some 150 bytes per run; one this large is not one.
constexpr std::uintmax_t kMaxRunsFile = 16u << 20;
constexpr std::uintmax_t kMaxSamplesFile = 512u << 20;

std::string Seconds(double s) { return FormatFloat("0.000", s); }

// A plain decimal as the program writes it: no exponent, no "inf".
bool ParseNumber(std::string_view s, double& v) {
  if (s.empty()) return false;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
  return r.ec == std::errc() && r.ptr == s.data() + s.size() && std::isfinite(v);
}

bool ParseInt(std::string_view s, int& v) {
  if (s.empty()) return false;
  const auto r = std::from_chars(s.data(), s.data() + s.size(), v);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// The file's lines with their offsets; a last line without its line end is
// reported as cut.
struct Line {
  std::string_view text;  // without CR LF
  std::uint64_t offset = 0;
  bool complete = true;
};

std::vector<Line> Lines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t nl = text.find('\n', start);
    Line l;
    l.offset = start;
    if (nl == std::string_view::npos) {
      l.text = text.substr(start);
      l.complete = false;
      start = text.size();
    } else {
      l.text = text.substr(start, nl - start);
      start = nl + 1;
    }
    if (!l.text.empty() && l.text.back() == '\r') l.text.remove_suffix(1);
    lines.push_back(l);
  }
  return lines;
}

std::string_view WithoutByteOrderMark(std::string_view s) {
  if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
  return s;
}

std::string LineText(std::size_t n) { return "строка " + std::to_string(n); }

// Checks one row and fills run; empty when fine, else what is wrong with it.
std::string ParseRow(const std::vector<std::string_view>& f, AccelRunRecord& run) {
  const auto notNumber = [&](const char* field, std::string_view value) {
    return std::string("в поле ") + field + " не число («" + std::string(value) + "»)";
  };
  if (!ParseInt(f[0], run.number) || run.number < 1) return "номер замера не целое положительное число";
  if (f[1].empty()) return "нет времени замера";
  run.time = std::string(f[1]);
  if (!ParseNumber(f[2], run.corrUOZ)) return notNumber("CorrUOZ", f[2]);
  // The ECU reports the correction in half degrees, a signed byte.
  if (run.corrUOZ < -64 || run.corrUOZ > 63.5 || run.corrUOZ * 2 != std::floor(run.corrUOZ * 2))
    return "коррекция " + std::string(f[2]) + " не в шагах по 0.5 градуса";
  int* const ints[] = {&run.rpmLimit, &run.avgAngle, &run.filterLen};
  for (std::size_t i = 3; i < kFixedCount; ++i)
    if (!ParseInt(f[i], *ints[i - 3]) || *ints[i - 3] < 0)
      return std::string("в поле ") + kFixedColumns[i] + " не целое неотрицательное число";
  for (int b = 0; b < kRunBands; ++b) {
    const std::string_view s = f[kFixedCount + b];
    if (s.empty()) continue;
    double v = 0;
    if (!ParseNumber(s, v) || v < 0) return "время полосы " + std::string(s) + " не число секунд";
    run.bands[b] = v;
  }
  double total = 0;
  if (!f[kFieldCount - 2].empty() && !ParseNumber(f[kFieldCount - 2], total))
    return notNumber("Total", f[kFieldCount - 2]);
  const std::string_view deleted = f[kFieldCount - 1];
  if (deleted != "0" && deleted != "1") return "в поле Deleted не 0 и не 1";
  run.deleted = deleted == "1";
  return {};
}

enum class ReadStatus { Ok, TooLarge, Failed };

ReadStatus ReadWhole(const std::string& path, std::uintmax_t maxBytes, std::string& out, int& err) {
  const std::filesystem::path file(reinterpret_cast<const char8_t*>(path.c_str()));
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    err = EISDIR;
    return ReadStatus::Failed;
  }
  const std::uintmax_t size = std::filesystem::file_size(file, ec);
  if (!ec && size > maxBytes) return ReadStatus::TooLarge;
  errno = 0;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    err = errno ? errno : ENOENT;
    return ReadStatus::Failed;
  }
  out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) {
    err = errno ? errno : EIO;
    return ReadStatus::Failed;
  }
  return ReadStatus::Ok;
}

std::string FileName(const std::string& path) {
  return std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())).filename().string();
}

}  // namespace

std::optional<double> RunTotal(const AccelRunRecord& run) {
  // The sum of the bands as the row shows them.
  std::optional<double> total;
  for (const auto& b : run.bands) {
    double shown = 0;
    if (b && ParseNumber(Seconds(*b), shown)) total = total.value_or(0) + shown;
  }
  if (total) total = std::round(*total * 1000) / 1000;  // the sum's own float noise
  return total;
}

// Built by appending: `"," + text` on a temporary makes GCC 12 at -O3 see a
// false overlap in the string copy (-Werror=restrict).
std::string RunsFileHeader() {
  std::string h;
  for (const char* c : kFixedColumns) {
    if (!h.empty()) h += ',';
    h += c;
  }
  for (int b = 0; b < kRunBands; ++b) {
    h += ',';
    h += std::to_string(2000 + 500 * b);
    h += '-';
    h += std::to_string(2500 + 500 * b);
  }
  h += ",Total,Deleted";
  return h;
}

std::string FormatRunRow(const AccelRunRecord& run) {
  std::string row = std::to_string(run.number);
  for (const std::string& field : {run.time, FormatFloat("0.0", run.corrUOZ), std::to_string(run.rpmLimit),
                                   std::to_string(run.avgAngle), std::to_string(run.filterLen)}) {
    row += ',';
    row += field;
  }
  for (const auto& b : run.bands) {
    row += ',';
    if (b) row += Seconds(*b);
  }
  row += ',';
  if (const std::optional<double> total = RunTotal(run)) row += Seconds(*total);
  row += run.deleted ? ",1" : ",0";
  return row;
}

std::string RunsFileName(std::time_t t, int copy) {
  std::string name = FormatLocalTime(kFileTimeFormat, t) + "_runs";
  if (copy > 1) {
    name += '-';
    name += std::to_string(copy);
  }
  name += ".csv";
  return name;
}

std::string SamplesPathFor(const std::string& runsPath) {
  const std::string ext = ".csv";
  std::string base = runsPath;
  if (base.size() >= ext.size()) {
    std::string tail = base.substr(base.size() - ext.size());
    for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (tail == ext) base.resize(base.size() - ext.size());
  }
  return base + "_samples.csv";
}

std::string SamplesFileHeader() { return "Run,Time,RPM"; }

std::string FormatSampleRows(int number, const std::vector<AccelRunSample>& samples) {
  std::string out;
  const std::string prefix = std::to_string(number) + ",";
  out.reserve(samples.size() * (prefix.size() + 14));
  for (const AccelRunSample& s : samples)
    out += prefix + FormatFloat("0.0000", s.time) + "," + std::to_string(s.rpm) + "\r\n";
  return out;
}

std::string ParseRunsFile(std::string_view text, RunsFileContent& out) {
  out = RunsFileContent{};
  const std::vector<Line> lines = Lines(text);
  if (lines.empty()) return "файл пуст.";
  const std::string_view header = WithoutByteOrderMark(lines[0].text);
  if (header != RunsFileHeader()) {
    if (header.substr(0, 9) == "Time,THR,")
      return "это лог данных, а не файл замеров (логи открывает «Открыть лог...»).";
    return "это не файл замеров: в строке 1 нет заголовка замеров.";
  }
  std::map<int, std::size_t> lineOf;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const Line& l = lines[i];
    const std::size_t n = i + 1;
    if (l.text.empty() && l.complete) continue;
    ++out.dataLines;
    if (!l.complete) {
      out.skips.push_back({LogSkipReason::CutOff, 1, n, {}});
      break;
    }
    const std::vector<std::string_view> f = SplitCommas(l.text);
    if (f.size() != kFieldCount)
      return LineText(n) + ": полей " + std::to_string(f.size()) + " вместо " + std::to_string(kFieldCount) +
             ".";
    AccelRunRecord run;
    const std::string wrong = ParseRow(f, run);
    if (!wrong.empty()) return LineText(n) + ": " + wrong + ".";
    const auto [it, added] = lineOf.emplace(run.number, n);
    if (!added)
      return LineText(n) + ": номер замера " + std::to_string(run.number) + " уже был в строке " +
             std::to_string(it->second) + ".";
    // The flag is the row's last byte.
    out.deletedFlagAt[run.number] = l.offset + (&l.text.back() - &l.text.front());
    out.runs.push_back(std::move(run));
  }
  if (out.runs.empty()) {
    const std::string report = SkipReportText(out.skips, out.dataLines, "файл замеров");
    return std::string("в файле нет ни одного замера.") + (report.empty() ? "" : "\n" + report);
  }
  out.size = lines.back().complete ? text.size() : lines.back().offset;
  return {};
}

SamplesContent ParseSamplesFile(std::string_view text) {
  SamplesContent out;
  const std::vector<Line> lines = Lines(text);
  if (lines.empty() || !lines[0].complete || WithoutByteOrderMark(lines[0].text) != SamplesFileHeader())
    return out;
  out.valid = true;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const Line& l = lines[i];
    if (!l.complete) break;
    if (l.text.empty()) continue;
    const std::vector<std::string_view> f = SplitCommas(l.text);
    int number = 0, rpm = 0;
    double time = 0;
    if (f.size() != 3 || !ParseInt(f[0], number) || !ParseNumber(f[1], time) || !ParseInt(f[2], rpm) ||
        rpm < 0 || rpm > 65535) {
      if (out.badLines++ == 0) out.firstBadLine = i + 1;
      continue;
    }
    out.runs[number].push_back({static_cast<float>(time), static_cast<std::uint16_t>(rpm)});
  }
  out.size = lines.back().complete ? text.size() : lines.back().offset;
  return out;
}

OpenedRuns ReadRunsFiles(const std::string& path) {
  OpenedRuns r;
  r.path = path;
  const std::string refused = "Не удалось открыть замеры из файла " + FileName(path) + ": ";
  const std::string kept = "\nТаблица осталась прежней.";
  std::string text;
  int err = 0;
  switch (ReadWhole(path, kMaxRunsFile, text, err)) {
    case ReadStatus::TooLarge:
      r.error = refused + "это не файл замеров: он слишком большой." + kept;
      return r;
    case ReadStatus::Failed:
      r.error = refused + FileReadErrorText(err) + kept;
      return r;
    case ReadStatus::Ok:
      break;
  }
  const std::string wrong = ParseRunsFile(text, r.runs);
  if (!wrong.empty()) {
    r.error = refused + wrong + kept;
    return r;
  }
  const std::string report = SkipReportText(r.runs.skips, r.runs.dataLines, "файл замеров");
  if (!report.empty()) r.note = "Файл замеров " + FileName(path) + " открыт не полностью.\n" + report;
  // The samples' note follows the runs'.
  const auto addNote = [&r](const std::string& text) { r.note += (r.note.empty() ? "" : "\n") + text; };
  const std::string samplesPath = SamplesPathFor(path);
  std::string samples;
  const ReadStatus s = ReadWhole(samplesPath, kMaxSamplesFile, samples, err);
  r.samplesFound = s == ReadStatus::Ok;
  if (s == ReadStatus::Failed && err == ENOENT) {
    addNote("Рядом нет файла точек " + FileName(samplesPath) + ": кривые этих замеров не показать.");
    return r;
  }
  if (s != ReadStatus::Ok) {
    addNote("Файл точек " + FileName(samplesPath) + " не прочитан: кривые этих замеров не показать.");
    return r;
  }
  r.samples = ParseSamplesFile(samples);
  if (!r.samples.valid) {
    addNote("Файл " + FileName(samplesPath) + " не файл точек замеров: кривые этих замеров не показать.");
  } else if (r.samples.badLines > 0) {
    addNote("В файле точек " + FileName(samplesPath) +
            " пропущено нечитаемых строк: " + std::to_string(r.samples.badLines) + " (первая — строка " +
            std::to_string(r.samples.firstBadLine) + "); кривые некоторых замеров могут быть неполными.");
  }
  return r;
}
