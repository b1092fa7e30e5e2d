#include "common/config.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>

#include "common/cp1251.h"
#include "common/files.h"
#include "common/ini.h"
#include "common/paths.h"
#include "common/ui.h"

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
// or hexadecimal after "$" or "0x". Nullopt when the text is not such a number
// or a decimal value leaves the 32-bit range (hexadecimal may use all 32 bits).
std::optional<std::int32_t> ParseInteger(const std::string& text) {
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
    v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(d);
    if (v > 0xFFFFFFFFull) return std::nullopt;
  }
  if (base == 10 && v > (negative ? 0x80000000ull : 0x7FFFFFFFull)) return std::nullopt;
  const std::uint32_t bits = static_cast<std::uint32_t>(v);
  return static_cast<std::int32_t>(negative ? 0u - bits : bits);
}

std::int32_t ReadInteger(const IniText& ini, const char* section, const char* key, std::int32_t def) {
  const auto text = ini.Read(section, key);
  if (!text) return def;
  return ParseInteger(*text).value_or(def);
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

// A 16-bit field keeps the low 16 bits of what was read (70000 -> 4464).
std::uint16_t Low16(std::int32_t v) { return static_cast<std::uint16_t>(static_cast<std::uint32_t>(v)); }

}  // namespace

ConfigRecord TCfg;

bool LoadConfig(ConfigRecord& cfg) {
  const std::string path = ConfigLoadPath();
  if (!Present(path)) return false;  // no file: not an error
  const auto bytes = LoadFile(path);
  if (!bytes) {
    Ui().ShowError(kReadError);
    return false;
  }
  const IniText ini(*bytes);
  cfg.Port = ReadString(ini, "Ecu", "Port", "COM2");
  cfg.CBR = ReadInteger(ini, "Ecu", "CBR", 1);
  // The speed tables have three entries; anything else would index past them.
  if (cfg.CBR < 0 || cfg.CBR > 2) cfg.CBR = 1;
  cfg.AutoReconnect = ReadString(ini, "Ecu", "AutoReconnect", "0") == "1";
  cfg.DataInterval = Low16(ReadInteger(ini, "Interval", "Data", 150));
  cfg.ScreenInterval = Low16(ReadInteger(ini, "Interval", "Screen", 300));
  cfg.WriterPause = Low16(ReadInteger(ini, "Interval", "WriterPause", 20));
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
  return true;
}

bool SaveConfig(const ConfigRecord& cfg) {
  const std::string path = ConfigFilePath();
  // The first save to the per-user file keeps the lines of the one it was read from.
  const std::string source = ConfigLoadPath();
  std::string existing;
  if (Present(source)) {
    auto bytes = LoadFile(source);
    if (!bytes) {  // cannot keep the other lines of a file we cannot read
      Ui().ShowError(kWriteError);
      return false;
    }
    existing = std::move(*bytes);
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
  if (ReplaceWholeFile(path, ini.Bytes()) != 0) {
    Ui().ShowError(kWriteError);
    return false;
  }
  return true;
}

void InitConfig(ConfigRecord& cfg) {
  cfg.Echo = 1;
  cfg.FastInit = 0;
  if (!LoadConfig(cfg)) {
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
