#include "flash/backup.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <string_view>
#include <system_error>

#include "common/error.h"
#include "common/files.h"
#include "common/format.h"
#include "common/paths.h"

namespace {

// Paths are UTF-8 text; std::filesystem would read a plain string in the
// system's code page on Windows.
std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(reinterpret_cast<const char8_t*>(utf8.c_str()));
}
std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

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

}  // namespace

std::string BackupIdentifier(const std::string& id) {
  std::string out;
  for (std::size_t i = 0; i < id.size();) {
    std::size_t length = 1;
    const char32_t c = NextCodePoint(id, i, length);
    out += KeptInFileName(c) ? id.substr(i, length) : "_";
    i += length;
  }
  return out;
}

namespace {

[[noreturn]] void Fail(const std::string& path, int err, const std::string& call) {
  throw EcuError("Ошибка записи резервной копии " + path + ": " + FileErrorReason(err),
                 call + " failed, errno " + std::to_string(err));
}

bool ReadsBackEqual(const std::string& path, const FirmwareBuffer& image) {
  const std::optional<std::string> back = LoadFile(path);
  return back && back->size() == image.size() &&
         std::equal(image.begin(), image.end(), reinterpret_cast<const std::uint8_t*>(back->data()));
}

}  // namespace

std::string BackupsFilePath(const std::string& name) { return Utf8(FsPath(BackupsDirPath()) / FsPath(name)); }

std::string BackupFileName(const std::string& identifier, const std::tm& local) {
  return BackupIdentifier(identifier) + "_" + FormatTime(kFileTimeFormat, local) + ".bin";
}

bool EndsWritten(const FirmwareBuffer& image) {
  return std::any_of(image.end() - kWriteBlockSize, image.end(), [](std::uint8_t b) { return b != 0xFF; });
}

std::string SaveBackup(const FirmwareBuffer& image, const std::string& identifier, bool complete) {
  const std::string dir = BackupsDirPath();
  std::error_code ec;
  std::filesystem::create_directories(FsPath(dir), ec);
  if (ec) Fail(dir, ec.value(), "create_directories");
  // Never over an older backup: that may be the only good image there is.
  const std::string path = UnusedFilePath(dir,
                                          BackupIdentifier(identifier) + "_" +
                                              FormatLocalTime(kFileTimeFormat, std::time(nullptr)) +
                                              (complete ? "" : "_incomplete"),
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
    std::filesystem::remove(FsPath(path), ec);
    throw;
  }
  return path;
}

std::string NewestCompleteBackup(const std::string& identifier) {
  // <id>_<time>.bin, or <id>_<time>-2.bin when that second had one already.
  const std::string id = BackupIdentifier(identifier);
  static const std::regex rest(R"((\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d)(?:-(\d{1,6}))?\.bin)");
  struct Candidate {
    std::string time;
    int number = 0;
    std::string path;
  };
  std::vector<Candidate> found;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(FsPath(BackupsDirPath()), ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = Utf8(it->path().filename());
    std::smatch m;
    if (name.compare(0, id.size() + 1, id + "_") != 0) continue;
    const std::string tail = name.substr(id.size() + 1);
    if (!std::regex_match(tail, m, rest)) continue;
    found.push_back({m[1].str(), m[2].matched ? std::stoi(m[2].str()) : 1, Utf8(it->path())});
  }
  std::sort(found.begin(), found.end(), [](const Candidate& a, const Candidate& b) {
    return a.time != b.time ? a.time > b.time : a.number > b.number;
  });
  // A backup taken before incomplete images were told apart may be one.
  auto image = std::make_unique<FirmwareBuffer>();
  for (const Candidate& c : found) {
    const std::optional<std::string> bytes = LoadFile(c.path);
    if (!bytes || bytes->size() != image->size()) continue;
    std::copy(bytes->begin(), bytes->end(), image->begin());
    if (EndsWritten(*image)) return c.path;
  }
  return {};
}
