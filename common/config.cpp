#include "common/config.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "common/cp1251.h"
#include "common/ini.h"
#include "common/paths.h"
#include "common/ui.h"

namespace {

const char* const kReadError = "Ошибка чтения файла настройки";
const char* const kWriteError = "Ошибка записи файла настройки";
const char* const kNoLambda = "Нет";
// Marks the program's own temporary cfg.ini, so that a leftover is never
// confused with a file of the user's (cfg.ini.backup, cfg.ini.old ...).
const char* const kTempInfix = ".varnek-tmp-";

// Whole file as bytes; nullopt on any failure (not a regular file included).
std::optional<std::string> ReadFileBytes(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> result;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    std::string bytes;
    char buf[4096];
    for (;;) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;
      if (n == 0) {
        result = std::move(bytes);
        break;
      }
      bytes.append(buf, static_cast<std::size_t>(n));
    }
  }
  ::close(fd);
  return result;
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
// otherwise the text is Windows-1251.
std::string ReadString(const IniText& ini, const char* section, const char* key, const char* def) {
  const auto text = ini.Read(section, key);
  if (!text) return def;
  return ini.HasUtf8Mark() ? *text : Cp1251ToUtf8(*text);
}

std::string StoredText(const IniText& ini, const std::string& utf8) {
  return ini.HasUtf8Mark() ? utf8 : Utf8ToCp1251(utf8);
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Temporaries of saves that never finished: their program was killed. One
// whose program still runs (a second window) is left to it.
void RemoveLeftoverTemps(const std::filesystem::path& target) {
  namespace fs = std::filesystem;
  const std::string prefix = target.filename().string() + kTempInfix;
  std::error_code ec;
  for (fs::directory_iterator it(target.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
      continue;
    const pid_t pid = static_cast<pid_t>(std::stol(digits));
    if (pid <= 0) continue;
    const bool running = pid != ::getpid() && (::kill(pid, 0) == 0 || errno == EPERM);
    if (!running) ::unlink(it->path().c_str());
  }
}

// Replaces the file at path with bytes: a temporary file beside it, flushed
// to disk, then renamed over it, so a kill or a power cut leaves either the
// old file or the new one. False on failure.
bool ReplaceFile(const std::string& path, const std::string& bytes) {
  namespace fs = std::filesystem;
  std::error_code ec;
  // A linked cfg.ini stays a link: its target is replaced.
  fs::path target = fs::exists(path, ec) ? fs::canonical(path, ec) : fs::path(path);
  if (ec) target = path;
  fs::create_directories(target.parent_path(), ec);
  RemoveLeftoverTemps(target);
  const std::string temp = target.string() + kTempInfix + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    // A folder without write access may still hold a writable cfg.ini:
    // update that in place.
    const int direct = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (direct < 0) return false;
    const bool written = WriteAll(direct, bytes);
    return ::close(direct) == 0 && written;
  }
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

// A 16-bit field keeps the low 16 bits of what was read (70000 -> 4464).
std::uint16_t Low16(std::int32_t v) { return static_cast<std::uint16_t>(static_cast<std::uint32_t>(v)); }

}  // namespace

ConfigRecord TCfg;

bool LoadConfig(ConfigRecord& cfg) {
  const std::string path = ConfigLoadPath();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;  // no file: not an error
  const auto bytes = ReadFileBytes(path);
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
  return true;
}

bool SaveConfig(const ConfigRecord& cfg) {
  const std::string path = ConfigFilePath();
  // The first save to the per-user file keeps the lines of the one it was read from.
  const std::string source = ConfigLoadPath();
  std::string existing;
  struct stat st {};
  if (::stat(source.c_str(), &st) == 0) {
    auto bytes = ReadFileBytes(source);
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
  if (!ReplaceFile(path, ini.Bytes())) {
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
