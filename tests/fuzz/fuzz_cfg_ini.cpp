// cfg.ini as it comes from disk: any bytes, Windows-1251 text or not. The ini
// layer must keep every byte it does not write, the code page must survive a
// round trip, and what the program loads it must save and load back the same.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/config.h"
#include "common/cp1251.h"
#include "common/ini.h"
#include "common/paths.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// A text the ini layer gives back as written: no blanks at the ends, no quotes around it.
bool SurvivesIni(const std::string& v) {
  if (v.empty()) return true;
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  if (blank(v.front()) || blank(v.back())) return false;
  return !(v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front());
}

void CheckSameRecord(const ConfigRecord& a, const ConfigRecord& b) {
  FUZZ_CHECK(a.CBR == b.CBR && a.DataInterval.load() == b.DataInterval.load());
  FUZZ_CHECK(a.ScreenInterval == b.ScreenInterval && a.WriterPause.load() == b.WriterPause.load());
  FUZZ_CHECK(a.LambdaEnabled == b.LambdaEnabled && a.WriteLog == b.WriteLog);
  if (SurvivesIni(Utf8ToCp1251(a.Port))) FUZZ_CHECK(a.Port == b.Port);
  if (SurvivesIni(Utf8ToCp1251(a.LambdaPort))) FUZZ_CHECK(a.LambdaPort == b.LambdaPort);
}

bool InRange(std::int32_t v, const ConfigNumber& n) { return v >= n.min && v <= n.max; }

// Windows-1251 text that happens to form UTF-8 with letters beyond ASCII, or
// begins with the bytes of a UTF-16 mark ("яю", "юя"): read back, it is taken
// for that encoding (the ambiguity the reader accepts).
bool ReadsAsAnotherEncoding(const std::string& bytes) {
  if (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0) return true;
  return WellFormedUtf8(bytes) && Utf8Length(bytes) != bytes.size() &&
         bytes.compare(0, 3, "\xEF\xBB\xBF") != 0;
}

void CheckLoaded(const ConfigRecord& c) {
  FUZZ_CHECK(InRange(c.CBR, kCfgCBR) && InRange(c.DataInterval.load(), kCfgDataInterval));
  FUZZ_CHECK(InRange(c.ScreenInterval, kCfgScreenInterval) && InRange(c.WriterPause.load(), kCfgWriterPause));
  FUZZ_CHECK(WellFormedUtf8(c.Port) && WellFormedUtf8(c.LambdaPort));
  FUZZ_CHECK(c.LambdaEnabled == (c.LambdaPort != "Нет"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The program's UTF-8 decoder against the independent oracle: the same
  // verdict, and one byte out for each character or stray byte.
  const Utf8Scan scan = ScanUtf8(bytes);
  FUZZ_CHECK(IsUtf8(bytes) == scan.wellFormed);
  FUZZ_CHECK(Utf8ToCp1251(bytes).size() == scan.units);

  // Code page: every byte is one character and comes back unchanged.
  const std::string utf8 = Cp1251ToUtf8(bytes);
  FUZZ_CHECK(WellFormedUtf8(utf8) && Utf8Length(utf8) == bytes.size());
  FUZZ_CHECK(Utf8ToCp1251(utf8) == bytes);
  // Any text, broken UTF-8 included, encodes to one byte per character or '?'.
  FUZZ_CHECK(WellFormedUtf8(Cp1251ToUtf8(Utf8ToCp1251(bytes))));

  // The ini text keeps every byte until a key is written.
  IniText ini(bytes);
  FUZZ_CHECK(ini.Bytes() == bytes);
  const auto port = ini.Read("Ecu", "Port");
  if (port) {
    ini.Write("Ecu", "Port", *port);  // an unchanged value leaves the line alone
    FUZZ_CHECK(ini.Bytes() == bytes);
  }
  ini.Write("Logs", "WriteLog", "1");
  FUZZ_CHECK(ini.Read("Logs", "WriteLog") == "1");
  FUZZ_CHECK(IniText(ini.Bytes()).Read("Logs", "WriteLog") == "1");

  // The file as the program reads and writes it.
  static const bool dirSet = [] {
    SetAppDirOverride(ScratchDir());
    return true;
  }();
  (void)dirSet;
  const std::string path = ConfigFilePath();
  WriteWholeFile(path, data, size);
  ConfigNotices notices;
  ConfigRecord loaded;
  FUZZ_CHECK(LoadConfig(loaded, notices));
  CheckLoaded(loaded);
  FUZZ_CHECK(SaveConfig(loaded, notices));
  const std::string saved = ReadWholeFile(path);
  if (ReadsAsAnotherEncoding(saved)) return 0;
  ConfigRecord again;
  FUZZ_CHECK(LoadConfig(again, notices));
  CheckSameRecord(loaded, again);
  // Saving what was loaded back changes nothing more.
  FUZZ_CHECK(SaveConfig(again, notices));
  FUZZ_CHECK(ReadWholeFile(path) == saved);
  return 0;
}
