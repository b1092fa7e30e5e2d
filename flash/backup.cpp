#include "flash/backup.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "common/error.h"
#include "common/files.h"
#include "common/format.h"
#include "common/paths.h"

namespace {

// One character of UTF-8 text starting at i, and its length.
char32_t NextCodePoint(const std::string& s, std::size_t i, std::size_t& length) {
  const auto b = static_cast<unsigned char>(s[i]);
  length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  if (i + length > s.size()) length = 1;
  if (length == 1) return b;
  char32_t c = b & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
  return c;
}

// Letters of the identifier's code page (Latin and Cyrillic) and digits.
bool KeptInFileName(char32_t c) {
  return (c >= U'0' && c <= U'9') || (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') || c == U'-' ||
         c == U'_' || (c >= 0x0400 && c <= 0x045F) || c == 0x0490 || c == 0x0491;
}

std::string SafeIdentifier(const std::string& id) {
  std::string out;
  for (std::size_t i = 0; i < id.size();) {
    std::size_t length = 1;
    const char32_t c = NextCodePoint(id, i, length);
    out += KeptInFileName(c) ? id.substr(i, length) : "_";
    i += length;
  }
  return out;
}

[[noreturn]] void Fail(const std::string& path, int err, const std::string& call) {
  throw EcuError("Ошибка записи резервной копии " + path + ": " + FileErrorReason(err),
                 call + " failed, errno " + std::to_string(err));
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ReadsBackEqual(const std::string& path, const FirmwareBuffer& image) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) return false;
  auto back = std::make_unique<FirmwareBuffer>();
  const bool complete = std::fread(back->data(), 1, back->size(), f.get()) == back->size();
  return complete && std::fgetc(f.get()) == EOF && *back == image;
}

}  // namespace

std::string BackupFileName(const std::string& identifier, const std::tm& local) {
  return SafeIdentifier(identifier) + "_" + FormatTime(kFileTimeFormat, local) + ".bin";
}

std::string SaveBackup(const FirmwareBuffer& image, const std::string& identifier) {
  const std::filesystem::path dir = BackupsDirPath();
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) Fail(dir.string(), ec.value(), "create_directories");
  // Never over an older backup: that may be the only good image there is.
  const std::string path = UnusedFilePath(
      dir.string(), SafeIdentifier(identifier) + "_" + FormatLocalTime(kFileTimeFormat, std::time(nullptr)),
      ".bin");
  try {
    // On the disk before the erase: a laptop that dies during the write must
    // not take the way back with it.
    const int err =
        ReplaceWholeFile(path, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
    if (err != 0) Fail(path, err, "ReplaceWholeFile");
    if (!ReadsBackEqual(path, image))
      throw EcuError("Ошибка записи резервной копии " + path + ": файл не совпадает с прочитанной прошивкой",
                     "read-back of the backup file differs");
  } catch (...) {
    std::filesystem::remove(path, ec);
    throw;
  }
  return path;
}
