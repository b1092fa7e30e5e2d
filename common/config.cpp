#include "common/config.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>

#include "common/cp1251.h"
#include "common/error.h"
#include "common/files.h"
#include "common/ini.h"
#include "common/paths.h"

namespace {

const char* const kReadError = "Ошибка чтения файла настройки";
const char* const kWriteError = "Ошибка записи файла настройки";
const char* const kNoLambda = "Нет";

// Whether a file (or anything else) is there at all: a missing cfg.ini is no error.
bool Present(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(path, ec);
}

// The integer parse of the profile reader: optional sign, then decimal digits,
// or hexadecimal after "$" or "0x". Nullopt when the text is not such a
// number. A number too large for any field stays too large (it saturates far
// beyond every range) rather than wrapping into one.
std::optional<std::int64_t> ParseInteger(const std::string& text) {
  constexpr std::uint64_t kHuge = std::uint64_t{1} << 40;
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return std::nullopt;
  std::uint64_t v = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return std::nullopt;
    v = std::min(v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d), kHuge);
  }
  return negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
}

// A number of the file, brought into its range; each value that had to be
// moved adds a line to corrections.
std::int32_t ReadNumber(const IniText& ini, const ConfigNumber& n, std::string& corrections) {
  const auto text = ini.Read(n.section, n.key);
  const auto value = text ? ParseInteger(*text) : std::nullopt;
  if (!value) return n.fallback;
  const auto kept = static_cast<std::int32_t>(std::clamp<std::int64_t>(*value, n.min, n.max));
  if (kept != *value)
    corrections += std::string("\n[") + n.section + "] " + n.key + ": " + *text + " заменено на " +
                   std::to_string(kept) + " (допустимо от " + std::to_string(n.min) + " до " +
                   std::to_string(n.max) + ")";
  return kept;
}

// A file rewritten in Windows-1251 gets the line ends of that format.
std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') {
      out += text[i];
      continue;
    }
    out += "\r\n";
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
  }
  return out;
}

// Text beyond ASCII: only then can the encoding of a file without a mark differ.
bool HasHighBytes(const std::string& bytes) {
  return std::any_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// The file's bytes as the Windows-1251 text the reader and the save work on:
// what an editor saved as UTF-16 (with its mark) or as UTF-8 without a mark
// is converted, so the save replaces it whole in Windows-1251. Cyrillic text
// in Windows-1251 practically never forms valid UTF-8. UTF-8 behind its mark
// stays as it is (IniText keeps the mark and the save keeps the encoding).
std::string AsIniBytes(const std::string& bytes) {
  if (bytes.starts_with("\xFF\xFE")) return WithCrLf(Utf8ToCp1251(Utf16ToUtf8(bytes.substr(2), false)));
  if (bytes.starts_with("\xFE\xFF")) return WithCrLf(Utf8ToCp1251(Utf16ToUtf8(bytes.substr(2), true)));
  if (!bytes.starts_with("\xEF\xBB\xBF") && HasHighBytes(bytes) && IsUtf8(bytes))
    return WithCrLf(Utf8ToCp1251(bytes));
  return bytes;
}

// A file an editor saved as UTF-8 (it begins with the mark) holds UTF-8 text;
// otherwise the text is Windows-1251, and so is a value behind the mark that
// is not UTF-8 (typed in a Windows-1251 editor that kept the mark).
std::string ReadString(const IniText& ini, const char* section, const char* key, const char* def) {
  const auto text = ini.Read(section, key);
  if (!text) return def;
  return ini.HasUtf8Mark() && IsUtf8(*text) ? *text : Cp1251ToUtf8(*text);
}

std::string StoredText(const IniText& ini, const std::string& utf8) {
  return ini.HasUtf8Mark() ? utf8 : Utf8ToCp1251(utf8);
}

}  // namespace

const ConfigNumber kCfgCBR{"Ecu", "CBR", 1, 0, 2, {}};
const ConfigNumber kCfgDataInterval{"Interval", "Data", 150, 0, 500, {0, 150, 200, 300, 400, 500}};
const ConfigNumber kCfgScreenInterval{"Interval", "Screen", 300, 0, 1000, {0, 200, 300, 500, 1000}};
const ConfigNumber kCfgWriterPause{"Interval", "WriterPause", 20, 20, 200, {}};

// cfg.ini read at start and written at exit: one file, so one record for the process.
ConfigRecord TCfg;

bool LoadConfig(ConfigRecord& cfg, ConfigNotices& notices) {
  const std::string path = ConfigLoadPath();
  if (!Present(path)) return false;  // no file: not an error
  int err = 0;
  const auto bytes = LoadFile(path, &err);
  if (!bytes) {
    notices.push_back({true, std::string(kReadError) + " " + path + ": " + FileReadReason(err)});
    return false;
  }
  const IniText ini(AsIniBytes(*bytes));
  std::string corrections;
  cfg.Port = ReadString(ini, "Ecu", "Port", "COM2");
  cfg.CBR = ReadNumber(ini, kCfgCBR, corrections);
  cfg.AutoReconnect = ReadString(ini, "Ecu", "AutoReconnect", "0") == "1";
  cfg.DataInterval = static_cast<std::uint16_t>(ReadNumber(ini, kCfgDataInterval, corrections));
  cfg.ScreenInterval = static_cast<std::uint16_t>(ReadNumber(ini, kCfgScreenInterval, corrections));
  cfg.WriterPause = static_cast<std::uint16_t>(ReadNumber(ini, kCfgWriterPause, corrections));
  cfg.LambdaPort = ReadString(ini, "Lambda", "Port", "COM5");
  cfg.LambdaEnabled = cfg.LambdaPort != kNoLambda;
  cfg.WriteLog = ReadString(ini, "Logs", "WriteLog", "0") == "1";
  // Safety switches: only an explicit 0 turns one off.
  cfg.FlashBackup = ReadString(ini, "Flash", "Backup", "1") != "0";
  cfg.FlashVerify = ReadString(ini, "Flash", "Verify", "1") != "0";
  cfg.LogViewTracks = ReadString(ini, "LogView", "Tracks", "");
  cfg.LogViewOptions.clear();
  for (const std::string& key : ini.Keys("LogView"))
    if (!IniNamesEqual(key, "Tracks")) cfg.LogViewOptions[key] = ReadString(ini, "LogView", key.c_str(), "");
  // The first save writes the corrected values, so this is said once.
  if (!corrections.empty())
    notices.push_back(
        {false, "В файле настройки " + path +
                    " были значения вне допустимых пределов, они исправлены:" + corrections +
                    "\n\nИсправленные значения будут записаны в файл при выходе из программы."});
  return true;
}

bool SaveConfig(const ConfigRecord& cfg, ConfigNotices& notices) {
  const std::string path = ConfigFilePath();
  // The first save to the per-user file keeps the lines of the one it was read from.
  const std::string source = ConfigLoadPath();
  std::string existing;
  if (Present(source)) {
    int err = 0;
    auto bytes = LoadFile(source, &err);
    if (!bytes) {  // cannot keep the other lines of a file we cannot read
      notices.push_back({true, std::string(kWriteError) + " " + source + ": " + FileReadReason(err)});
      return false;
    }
    existing = AsIniBytes(*bytes);
  }
  IniText ini(existing);
  ini.Write("Ecu", "Port", StoredText(ini, cfg.Port));
  ini.Write("Ecu", "CBR", std::to_string(cfg.CBR));
  ini.Write("Ecu", "AutoReconnect", cfg.AutoReconnect ? "1" : "0");
  ini.Write("Interval", "Data", std::to_string(cfg.DataInterval.load()));
  ini.Write("Interval", "Screen", std::to_string(cfg.ScreenInterval));
  ini.Write("Interval", "WriterPause", std::to_string(cfg.WriterPause.load()));
  ini.Write("Lambda", "Port", StoredText(ini, cfg.LambdaPort));
  ini.Write("Logs", "WriteLog", cfg.WriteLog ? "1" : "0");
  ini.Write("Flash", "Backup", cfg.FlashBackup ? "1" : "0");
  ini.Write("Flash", "Verify", cfg.FlashVerify ? "1" : "0");
  // The section appears once the log view has been used.
  if (!cfg.LogViewTracks.empty() || ini.Read("LogView", "Tracks"))
    ini.Write("LogView", "Tracks", StoredText(ini, cfg.LogViewTracks));
  for (const auto& [key, value] : cfg.LogViewOptions) ini.Write("LogView", key, StoredText(ini, value));
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);  // the per-user folder
  if (const int err = ReplaceWholeFile(path, ini.Bytes())) {
    notices.push_back({true, std::string(kWriteError) + " " + path + ": " + FileErrorReason(err)});
    return false;
  }
  return true;
}

void InitConfig(ConfigRecord& cfg, ConfigNotices& notices) {
  cfg.Echo = 1;
  cfg.FastInit = 0;
  if (!LoadConfig(cfg, notices)) {
    cfg.Port = "COM2";
    cfg.CBR = 1;
    cfg.DataInterval = 150;
    cfg.ScreenInterval = 500;
    // No LC-1 until the user picks its port: a file written from scratch
    // then says so, and the next start does not try to open one.
    cfg.LambdaPort = kNoLambda;
    cfg.WriterPause = 20;
    cfg.FlashBackup = 1;
    cfg.FlashVerify = 1;
  }
  cfg.NotCheckReplyLen = 1;
}
