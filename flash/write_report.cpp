#include "flash/write_report.h"

#include <cstdio>
#include <filesystem>

#include "flash/firmware.h"

namespace {

std::string BlockOf(int block) { return std::to_string(block + 1) + " из " + std::to_string(kWriteBlocks); }

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// The boot code stays, so the ECU can always take another write.
std::string WayBack(const std::string& file, const std::string& backup) {
  std::string text =
      "Загрузочный код ЭБУ не затронут, поэтому запись можно повторить.\n"
      "Повторите запись с тем же файлом:\n" +
      file;
  if (!backup.empty()) text += "\nили с резервной копией:\n" + backup;
  return text;
}

const char* const kCarWillNotStart = "автомобиль не заведётся, пока запись не будет завершена.";

// The error's text as a line of its own (a port error ends in CR LF).
std::string Line(const std::string& error) {
  std::string line = error;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  return line;
}

}  // namespace

std::string FailedStageCaption(const WriteFailure& where) {
  switch (where.stage) {
    case WriteStage::Upload:
      return "Сбой: передача загрузчика";
    case WriteStage::Backup:
      return "Сбой: резервная копия";
    case WriteStage::Erase:
      return "Сбой: стирание";
    case WriteStage::Blocks:
      return "Сбой: запись блока " + BlockOf(where.block);
    case WriteStage::Verify:
      return "Сбой: проверка записи";
  }
  return "Сбой";
}

std::string WriteFailureText(const std::string& error, const WriteFailure& where, const std::string& file,
                             const std::string& backup) {
  const std::string first = Line(error);
  switch (where.stage) {
    case WriteStage::Upload:
      return error;  // nothing was sent to the flash yet
    case WriteStage::Backup:
      return first +
             "\nРезервная копия не сделана, поэтому стирание не выполнялось: прошивка ЭБУ не изменена.";
    case WriteStage::Erase: {
      std::string text = first;
      if (where.eraseAfterRead && where.noAnswer)
        text +=
            "\nЭБУ не ответил на стирание после чтения резервной копии: возможно, загрузчик не принимает "
            "стирание после полного чтения. Отключите резервную копию в настройках («Резервная копия при "
            "записи прошивки»), сохранив прошивку командой «Считать», и повторите запись.";
      return text + "\nСтирание не завершено: флэш-память ЭБУ может быть уже стёрта, тогда " +
             kCarWillNotStart + "\n" + WayBack(file, backup);
    }
    case WriteStage::Blocks:
      return first + "\nЗапись прервана на блоке " + BlockOf(where.block) +
             ": флэш-память ЭБУ записана не полностью, и " + kCarWillNotStart + "\n" + WayBack(file, backup);
    case WriteStage::Verify:
      break;  // the verification has texts of its own
  }
  return error;
}

std::string VerifyNotRunText(const std::string& error, std::uint32_t fileCrc) {
  return "Проверка записи не выполнена: прошивку не удалось прочитать из ЭБУ после записи.\n" + Line(error) +
         "\nВсе " + std::to_string(kWriteBlocks) +
         " блоков записаны и подтверждены ЭБУ, но совпадение с файлом не проверено. Считайте прошивку "
         "командой «Считать» и сравните её с файлом (CRC-32 файла " +
         Hex(fileCrc, 8) + ").";
}

std::string VerifyMismatchText(int address, std::uint8_t inFile, std::uint8_t inEcu, const std::string& file,
                               const std::string& backup) {
  return "Проверка записи не пройдена: блок " + BlockOf(address / kWriteBlockSize) + ", байт " +
         std::to_string(address % kWriteBlockSize + 1) + " из " + std::to_string(kWriteBlockSize) +
         " (адрес 0x" + Hex(static_cast<unsigned>(address), 4) + "): в файле 0x" + Hex(inFile, 2) +
         ", в ЭБУ 0x" + Hex(inEcu, 2) +
         ".\nПрошивка в ЭБУ отличается от файла: автомобиль может не завестись.\n" + WayBack(file, backup);
}

std::string WriteSuccessText(const std::string& file, std::uint32_t fileCrc, const std::string& backup) {
  std::string text =
      "Прошивка записана и проверена.\nФайл: " + std::filesystem::path(file).filename().string() +
      "\nCRC-32: " + Hex(fileCrc, 8);
  if (!backup.empty()) text += "\nРезервная копия: " + backup;
  return text;
}

std::string NoCompleteBackupText(const std::string& incomplete) {
  return "Полной резервной копии прошивки этого ЭБУ нет: образ, прочитанный перед записью, неполный "
         "(сохранён как " +
         incomplete + ").";
}
