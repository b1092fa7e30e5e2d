#include "ecu/csvlog.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <unordered_map>

#include "common/config.h"
#include "common/error.h"
#include "common/files.h"
#include "common/format.h"
#include "common/linefile.h"
#include "common/paths.h"
#include "common/timing.h"
#include "ecu/ecu_data.h"

namespace {

using ColumnFormat = std::string (*)(const EcuDataRecord&);

struct Column {
  const char* name;
  ColumnFormat format;
};

// The 89 variable columns in file order, each in its number form. Integer
// columns print in plain decimal; the rest through their pictures.
#define LOG_INT(x)                                                 \
  {                                                                \
#x, [](const EcuDataRecord& d) { return std::to_string(d.x); } \
  }
#define LOG_PIC(x, pic)                                                                   \
  {                                                                                       \
#x, [](const EcuDataRecord& d) { return FormatFloat(pic, static_cast<double>(d.x)); } \
  }

const Column kColumns[] = {
    LOG_INT(THR),
    LOG_INT(RPM),
    LOG_INT(RPM40),
    LOG_INT(RPM_GBC_RT),
    LOG_INT(UFRXX),
    LOG_INT(SSM),
    LOG_INT(TWAT),
    LOG_INT(TAIR),
    LOG_PIC(ALF, "0.##"),
    LOG_PIC(AFR, "#0.0"),
    LOG_PIC(ALF_LC1, "0.##"),
    LOG_PIC(AFR_LC1, "#0.0"),
    LOG_PIC(COEFF, "0.##"),
    LOG_PIC(DGTC_RICH, "#0.###"),
    LOG_PIC(DGTC_LEAN, "#0.###"),
    LOG_PIC(UOZ, "#0.#"),
    LOG_PIC(KUOZ1, "#0.#"),
    LOG_PIC(KUOZ2, "#0.#"),
    LOG_PIC(KUOZ3, "#0.#"),
    LOG_PIC(KUOZ4, "#0.#"),
    LOG_INT(FAZ),
    LOG_PIC(INJ, "#0.###"),
    LOG_PIC(FUSE, "##0.#"),
    LOG_PIC(AIR, "###0"),
    LOG_PIC(GBC, "##0.##"),
    LOG_PIC(KGBC, "0.##"),
    LOG_INT(SPD),
    LOG_PIC(ADCKNOCK, "#0.###"),
    LOG_PIC(ADCMAF, "#0.###"),
    LOG_PIC(ADCTWAT, "#0.###"),
    LOG_PIC(ADCTAIR, "#0.###"),
    LOG_PIC(ADCTPS, "#0.###"),
    LOG_PIC(ADCUBAT, "#0.###"),
    LOG_PIC(ADCLAM, "#0.###"),
    LOG_INT(ERR_CNT),
    LOG_INT(ERR),
    LOG_INT(fSTOP),
    LOG_INT(fXX),
    LOG_INT(fXXPrev),
    LOG_INT(fXXFix),
    LOG_INT(fPOW),
    LOG_INT(fFUELOFF),
    LOG_INT(fDETZONE),
    LOG_INT(fDET),
    LOG_INT(fADS),
    LOG_INT(fLAMREG),
    LOG_INT(fLAM),
    LOG_INT(fLEARN),
    LOG_INT(fLAMRDY),
    LOG_INT(fLAMHEAT),
    LOG_PIC(KINJ_AIRFREE, "0.##"),
    LOG_PIC(UOZ_TCORR, "#0.#"),
    LOG_PIC(DUOZ_REGXX, "#0.#"),
    LOG_PIC(DIUOZ, "#0.#"),
    LOG_INT(JUFRXX),
    LOG_INT(JFRXX1),
    LOG_INT(JFRXX2),
    LOG_INT(DELTA_RPM_XX),
    LOG_INT(DERR_RPM),
    LOG_INT(PXX_ZONE),
    LOG_INT(RAM_2A),
    LOG_INT(RAM_2D),
    LOG_INT(TWAT_RT),
    LOG_INT(THR_RT_16),
    LOG_INT(RPM_RT),
    LOG_INT(RPM_RT_16),
    LOG_INT(RPM_THR_RT),
    LOG_INT(GBC_RT),
    LOG_INT(GBC_RT_16),
    LOG_PIC(KGTC, "0.##"),
    LOG_PIC(DUOZ, "#0.#"),
    LOG_PIC(DUOZ_LAUNCH, "#0.#"),
    LOG_INT(LaunchFuelCutOff),
    LOG_INT(DELAY_FUEL_CUTOFF),
    LOG_INT(PRESS_RT),
    LOG_PIC(PRESS, "##0.##"),
    LOG_PIC(TARGET_BOOST, "##0.##"),
    LOG_PIC(TURBO_DYNAMICS, "##0.##"),
    LOG_PIC(WGDC, "##0"),
    LOG_PIC(TCHARGE, "#####0.####"),
    LOG_PIC(TCHARGE_COEFF, "0.##"),
    LOG_PIC(FCHARGE_GBC, "###0"),
    LOG_PIC(KGBC_DAD, "0.##"),
    LOG_PIC(FCRG_GBC_FIN, "###0"),
    LOG_INT(KNOCK),
    LOG_PIC(DGTC_DAD_RICH, "#0.###"),
    LOG_INT(TLE_PIN_0_7),
    LOG_INT(TLE_PIN_8_15),
    LOG_INT(F8C0),
};

#undef LOG_INT
#undef LOG_PIC

const std::unordered_map<std::string_view, ColumnFormat>& ColumnsByName() {
  static const auto* map = [] {
    auto* m = new std::unordered_map<std::string_view, ColumnFormat>;
    for (const Column& c : kColumns) m->emplace(c.name, c.format);
    return m;
  }();
  return *map;
}

}  // namespace

std::int64_t LogElapsedMs(std::int64_t origin, std::int64_t now, std::int64_t frequency) {
  return (now - origin) * 1000 / frequency;
}

std::string LogHeader() {
  std::string h = "Time";
  for (const Column& c : kColumns) {
    h += ',';
    h += c.name;
  }
  return h;
}

std::string FormatLogValue(const std::string& name, const EcuDataRecord& d) {
  const auto& map = ColumnsByName();
  auto it = map.find(name);
  return it == map.end() ? std::string() : it->second(d);
}

std::string FormatLogRow(const std::string& names, const EcuDataRecord& d) {
  std::string out;
  size_t start = 0;
  while (true) {
    const size_t comma = names.find(',', start);
    out += FormatLogValue(names.substr(start, comma == std::string::npos ? std::string::npos : comma - start),
                          d);
    if (comma == std::string::npos) break;
    out += ',';
    start = comma + 1;
  }
  return out;
}

std::string FormatLogRow(const EcuDataRecord& d, std::int64_t timeMs) {
  char time[32];
  std::snprintf(time, sizeof time, "%lld.%.3lld", static_cast<long long>(timeMs / 1000),
                static_cast<long long>(timeMs % 1000));
  std::string row = time;
  row.reserve(512);
  for (const Column& c : kColumns) {
    row += ',';
    row += c.format(d);
  }
  return row;
}

CsvLog::CsvLog(std::function<void(const std::string&)> onError) : onError_(std::move(onError)) {}

// Ends logging for this session after a failure: one message, file closed.
// A line cut short by the failure has been cut off, so the file stays a clean
// CSV that spreadsheets import.
void CsvLog::Fail(int err) {
  file_.Close();
  onError_("Ошибка записи лога " + file_.Path() + ": " + FileErrorReason(err) +
           ". Сессия продолжается без записи лога.");
}

bool CsvLog::WriteLine(const std::string& line) {
  if (file_.Append(line + "\r\n")) return true;
  Fail(file_.Error());
  return false;
}

bool CsvLog::OpenFile(const std::string& path) {
  if (file_.IsOpen()) Close();
  if (!file_.Create(path)) {
    Fail(file_.Error());
    return false;
  }
  if (!WriteLine(LogHeader())) return false;
  origin_ = PerfCounter();
  frequency_ = PerfFrequency();
  return true;
}

void CsvLog::Open() {
  const std::string dir = LogsDirPath();
  std::error_code ec;
  // A failure here shows up as the file's own failure below, with its reason.
  std::filesystem::create_directories(dir, ec);
  // Two sessions in one second (a quick F3, F2) must not share a file.
  OpenFile(UnusedFilePath(dir, FormatLocalTime(kFileTimeFormat, std::time(nullptr)), ".csv"));
}

void CsvLog::WriteRow(const EcuDataRecord& d) {
  if (!file_.IsOpen()) return;
  const std::int64_t ms = LogElapsedMs(origin_, PerfCounter(), frequency_);
  WriteLine(FormatLogRow(d, ms));
}

void CsvLog::OnEcuData(const EcuDataRecord& d) {
  if (TCfg.WriteLog) WriteRow(d);
}

void CsvLog::Close() {
  if (!file_.IsOpen()) return;
  // Every line has been written already; a file system that reports a late
  // failure here (network, removable media) still gets it shown.
  if (!file_.Close()) Fail(file_.Error());
}

bool CsvLog::IsOpen() const { return file_.IsOpen(); }

std::string CsvLog::FilePath() const { return file_.Path(); }
