#include "flash/write_journal.h"

#include <ctime>
#include <string_view>

#include "common/error.h"
#include "common/files.h"
#include "common/format.h"
#include "common/paths.h"
#include "flash/backup.h"

namespace {

const char* const kHeader = "Time,Identifier,Result,Backup\n";
const char* const kFailed = "failed";
const char* const kWritten = "written";

// The journal's complete lines; a last line without its line end (cut by a
// crash of another tool or a full disk) is left out.
std::string CompleteLines(const std::string& text) {
  const std::size_t end = text.rfind('\n');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace

std::string WriteJournalPath() { return BackupsFilePath("writes.csv"); }

bool LastWriteFailed(const std::string& identifier) {
  const std::optional<std::string> text = LoadFile(WriteJournalPath());
  if (!text) return false;
  const std::string id = BackupIdentifier(identifier);
  bool failed = false;
  const std::string lines = CompleteLines(*text);
  for (std::size_t begin = 0; begin < lines.size();) {
    const std::size_t end = lines.find('\n', begin);
    std::string_view line(lines.data() + begin, end - begin);
    begin = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const auto fields = SplitCommas(line);
    if (fields.size() == 4 && fields[1] == id && (fields[2] == kFailed || fields[2] == kWritten))
      failed = fields[2] == kFailed;
  }
  return failed;
}

std::string JournalWrite(const std::string& identifier, bool failed, const std::string& backup) {
  const std::string path = WriteJournalPath();
  // The Backups folder is there: a write is journaled only after its backup.
  std::string text = CompleteLines(LoadFile(path).value_or(std::string()));
  if (text.empty()) text = kHeader;
  // The backups' own names carry no commas; a folder's path might.
  const std::string backupName = backup.substr(backup.find_last_of("/\\") + 1);
  text += FormatLocalTime(kFileTimeFormat, std::time(nullptr)) + "," + BackupIdentifier(identifier) + "," +
          (failed ? kFailed : kWritten) + "," + backupName + "\n";
  const int err = ReplaceWholeFile(path, text);
  if (err == 0) return {};
  return "Журнал записей прошивки " + path + " не обновлён: " + FileErrorReason(err);
}
