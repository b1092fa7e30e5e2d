// The "Записать" command against the simulated boot code and loader.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <regex>

#include "flash/backup.h"
#include "flash/firmware.h"
#include "flash/flash.h"
#include "flash/write_journal.h"
#include "tests/flash/flash_fixture.h"

namespace {

using Captions = std::vector<std::pair<std::string, int>>;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::string Hex(unsigned v, int digits) {
  char s[16];
  std::snprintf(s, sizeof s, "%0*X", digits, v);
  return s;
}

// With the backup and the verification on, as a first start has them.
class FlashWriteTest : public FlashSim {
 protected:
  void SetUp() override {
    FlashSim::SetUp();
    TCfg.FlashBackup = 1;
    TCfg.FlashVerify = 1;
  }
  // Names of the images in the Backups folder (not the journal of writes).
  std::vector<std::string> Backups() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(Path("Backups"), ec))
      if (e.path().filename() != "writes.csv") names.push_back(e.path().filename().string());
    return names;
  }
  bool EcuHolds(const std::vector<std::uint8_t>& data) const {
    const auto image = boot->Image();
    return std::equal(data.begin(), data.end(), image.begin());
  }
};

TEST_F(FlashWriteTest, EcuFlashEqualsTheFileAfterTwoErases) {
  // Without the backup and the verification the wire carries the bare protocol.
  TCfg.FlashBackup = 0;
  TCfg.FlashVerify = 0;
  const auto file = Pattern(65536, 21);
  WriteFileBytes(Path("fw.bin"), file);
  PreloadImage(22);
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  const auto image = boot->Image();
  EXPECT_TRUE(std::equal(file.begin(), file.end(), image.begin()));
  // Each erase had to be answered 00, or the command would have stopped.
  EXPECT_EQ(boot->EraseCount(), 2);
  EXPECT_EQ(boot->WriteBlocksAccepted(), 512);
  EXPECT_EQ(ui.progress, (Captions{{"Чтение файла загрузчика ...", 359},
                                   {"Передача загрузчика ... ", 8},
                                   {"Стирание ... ", 1},
                                   {"Стирание ... ", 1},
                                   {"Запись прошивки ... ", 512}}));
  EXPECT_EQ(ui.progressSteps, 359 + 8 + 1 + 1 + 512);
  EXPECT_EQ(ui.stepsOutOfOrder, 0);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(Backups().empty());
}

TEST_F(FlashWriteTest, SafeWriteKeepsTheOldImageWritesAndReadsBack) {
  const auto file = Pattern(65536, 41);
  WriteFileBytes(Path("fw.bin"), file);
  const auto old = PreloadImage(42);
  boot->SetIdentifier("SIM/ECU1");
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  ASSERT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_TRUE(EcuHolds(file));
  const auto backups = Backups();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_TRUE(std::regex_match(backups[0], std::regex(R"(SIM_ECU1_\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.bin)")))
      << backups[0];
  const auto saved = ReadFileBytes(Path("Backups/" + backups[0]));
  EXPECT_TRUE(saved.size() == old.size() && std::equal(saved.begin(), saved.end(), old.begin()));

  // What is added lies before the first erase and after the last block.
  const auto wire = boot->Received();
  const std::size_t upload = 1 + 8 + 6 * 62 + 8 + 1;
  ASSERT_GT(wire.size(), upload);
  std::vector<std::uint8_t> expected(wire.begin(), wire.begin() + upload);
  auto readLoop = [&] {
    expected.push_back(0x0A);
    expected.insert(expected.end(), 256, 0x12);
  };
  expected.insert(expected.end(), {0x11, 0x20, 0x60, 0x08});
  readLoop();
  expected.insert(expected.end(), {0x10, 0x10, 0x0A});
  for (int j = 0; j < 512; ++j) {
    expected.push_back(0x13);
    std::uint8_t sum = 0;
    for (int i = 0; i < 128; ++i) sum += file[128 * j + i];
    expected.insert(expected.end(), file.begin() + 128 * j, file.begin() + 128 * j + 128);
    expected.push_back(static_cast<std::uint8_t>(-sum));
  }
  readLoop();
  EXPECT_TRUE(wire == expected) << "wire " << wire.size() << " bytes, expected " << expected.size();

  EXPECT_EQ(ui.progress, (Captions{{"Чтение файла загрузчика ...", 359},
                                   {"Передача загрузчика ... ", 8},
                                   {"Чтение идентификатора ... ", 1},
                                   {"Резервная копия прошивки SIM/ECU1 ... ", 256},
                                   {"Стирание ... ", 1},
                                   {"Стирание ... ", 1},
                                   {"Запись прошивки ... ", 512},
                                   {"Проверка записи ... ", 256}}));
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_EQ(ui.stepsOutOfOrder, 0);
  EXPECT_EQ(ui.messages, std::vector<std::string>{"Прошивка записана и проверена.\nФайл: fw.bin\nCRC-32: " +
                                                  Hex(Crc32(file.data(), file.size()), 8) +
                                                  "\nРезервная копия: " + Path("Backups/" + backups[0])});
  EXPECT_TRUE(PortReleased());
}

TEST_F(FlashWriteTest, SurvivesEchoGapsLongerThanTheReadIntervalTimeOut) {
  TCfg.FlashBackup = 0;
  const auto file = Pattern(65536, 43);
  WriteFileBytes(Path("fw.bin"), file);
  boot->SetEchoGap(40, 8);  // mid-block, in every 8th block
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_EQ(boot->WriteBlocksAccepted(), 512);
  EXPECT_TRUE(EcuHolds(file));
  EXPECT_EQ(ui.messages.size(), 1u);
}

TEST_F(FlashWriteTest, VerificationFindsABlockStoredWrongByItsNumber) {
  const auto file = Pattern(65536, 44);
  WriteFileBytes(Path("fw.bin"), file);
  PreloadImage(49);  // an erased flash would be backed up as incomplete, and not named
  boot->AddFault({sim::BootPoint::WriteBlock, 300, sim::BootFaultKind::StoreWrong, 5});
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  EXPECT_EQ(boot->WriteBlocksAccepted(), 512);  // every block was acknowledged
  ASSERT_EQ(ui.errors.size(), 1u);
  const std::string& text = ui.errors[0];
  const int address = 300 * 128 + 5;
  EXPECT_EQ(FirstLine(text),
            "Проверка записи не пройдена: блок 301 из 512, байт 6 из 128 (адрес 0x9605): в файле 0x" +
                Hex(file[address], 2) + ", в ЭБУ 0x" + Hex(file[address] ^ 0xFF, 2) + ".");
  EXPECT_TRUE(Contains(text, Path("fw.bin"))) << text;
  ASSERT_EQ(Backups().size(), 1u);
  EXPECT_TRUE(Contains(text, Path("Backups/" + Backups()[0]))) << text;
  EXPECT_EQ(ui.progressCaption, "Сбой: проверка записи");
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(ui.progressVisible);
}

TEST_F(FlashWriteTest, SilentReadBackSaysVerificationCouldNotRunNotThatTheWriteFailed) {
  TCfg.FlashBackup = 0;
  const auto file = Pattern(65536, 45);
  WriteFileBytes(Path("fw.bin"), file);
  boot->SetNoReadAfterWrite(true);
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  EXPECT_TRUE(EcuHolds(file));
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(FirstLine(ui.errors[0]),
            "Проверка записи не выполнена: прошивку не удалось прочитать из ЭБУ после записи.");
  EXPECT_TRUE(Contains(ui.errors[0], "\n Неверный ответ ЭБУ      0   18\n")) << ui.errors[0];
  EXPECT_FALSE(Contains(ui.errors[0], "не пройдена"));
  EXPECT_EQ(ui.progressCaption, "Сбой: проверка записи");
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(PortReleased());
}

// A backup that cannot be read or kept stops the write before the erase.
struct BackupFault {
  const char* name;
  bool unreadable;  // else: the Backups folder cannot be made
  std::string firstLineStart;
};

class FlashBackupFaultTest : public FlashWriteTest, public ::testing::WithParamInterface<BackupFault> {};

TEST_P(FlashBackupFaultTest, NothingIsErased) {
  WriteFileBytes(Path("fw.bin"), Pattern(65536, 46));
  const auto old = PreloadImage(47);
  if (GetParam().unreadable)
    boot->AddFault({sim::BootPoint::ReadBlock, 7, sim::BootFaultKind::BadSum});
  else
    WriteFileBytes(Path("Backups"), {1});  // a file where the folder should be
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  EXPECT_EQ(boot->EraseCount(), 0);
  EXPECT_EQ(boot->WriteBlocksAccepted(), 0);
  EXPECT_TRUE(boot->Image() == old);
  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].rfind(GetParam().firstLineStart, 0), 0u) << ui.errors[0];
  EXPECT_TRUE(Contains(ui.errors[0], "стирание не выполнялось")) << ui.errors[0];
  EXPECT_EQ(ui.progressCaption, "Сбой: резервная копия");
  EXPECT_TRUE(Backups().empty());
  EXPECT_TRUE(PortReleased());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FlashBackupFaultTest,
    ::testing::Values(BackupFault{"BadCheckByte", true, " Неверная контрольная сумма    \n"},
                      BackupFault{"FolderCannotBeMade", false, "Ошибка записи резервной копии "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FlashWriteTest, AcknowledgementOneAtBlock300StopsThere) {
  WriteFileBytes(Path("fw.bin"), Pattern(65536, 23));
  PreloadImage(50);
  boot->AddFault({sim::BootPoint::WriteBlock, 300, sim::BootFaultKind::WrongAnswer, 0x01});
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  ASSERT_EQ(ui.errors.size(), 1u);
  const std::string& text = ui.errors[0];
  EXPECT_EQ(FirstLine(text), kBadAnswerText);
  EXPECT_TRUE(Contains(text,
                       "\nЗапись прервана на блоке 301 из 512: флэш-память ЭБУ записана не полностью, "
                       "и автомобиль не заведётся, пока запись не будет завершена.\n"))
      << text;
  EXPECT_TRUE(Contains(text, "Загрузочный код ЭБУ не затронут")) << text;
  ASSERT_EQ(Backups().size(), 1u);
  EXPECT_TRUE(Contains(text, "с тем же файлом:\n" + Path("fw.bin") + "\nили с резервной копией:\n" +
                                 Path("Backups/" + Backups()[0])))
      << text;
  EXPECT_EQ(ui.progressCaption, "Сбой: запись блока 301 из 512");
  EXPECT_EQ(boot->WriteBlocksAccepted(), 301);  // blocks 0..300 reached the ECU, no more
  EXPECT_EQ(ui.progressSteps, 359 + 8 + 1 + 256 + 1 + 1 + 300);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());
}

TEST_F(FlashWriteTest, RetryAfterAFailedWriteNamesTheOriginalBackupNotTheHalfWrittenImage) {
  const auto file = Pattern(65536, 27);
  WriteFileBytes(Path("fw.bin"), file);
  const auto original = PreloadImage(28);
  boot->AddFault({sim::BootPoint::WriteBlock, 0, sim::BootFaultKind::WrongAnswer, 0x01});
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  ASSERT_EQ(ui.errors.size(), 1u);
  ASSERT_EQ(Backups().size(), 1u);
  const std::string first = Path("Backups/" + Backups()[0]);
  ASSERT_EQ(ReadFileBytes(first), std::vector<std::uint8_t>(original.begin(), original.end()));
  EXPECT_TRUE(Contains(ui.errors[0], "или с резервной копией:\n" + first)) << ui.errors[0];

  // The ECU switched off and on holds block 0 and 65 408 erased bytes; a new
  // program start knows of the failure only from the journal.
  const auto halfWritten = boot->Image();
  ASSERT_TRUE(
      std::all_of(halfWritten.begin() + 128, halfWritten.end(), [](std::uint8_t b) { return b == 0xFF; }));
  boot.reset();
  boot = std::make_unique<BootLine>();
  boot->SetIdentifier("SIMECU01");
  boot->SetEraseMs(1);
  boot->SetImage(halfWritten);
  port = boot->Port();
  ui.errors.clear();
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  ASSERT_TRUE(ui.errors.empty()) << ui.errors.front();
  EXPECT_TRUE(EcuHolds(file));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(Contains(ui.messages[0], "\nРезервная копия: " + first)) << ui.messages[0];
  std::vector<std::string> incomplete;
  for (const auto& name : Backups())
    if (std::regex_match(name, std::regex(R"(SIMECU01_\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_incomplete\.bin)")))
      incomplete.push_back(name);
  ASSERT_EQ(incomplete.size(), 1u);
  EXPECT_EQ(ReadFileBytes(Path("Backups/" + incomplete[0])),
            std::vector<std::uint8_t>(halfWritten.begin(), halfWritten.end()));
  EXPECT_EQ(Backups().size(), 2u);

  // The journal keeps both writes; a cut last line costs only that line.
  const auto journal = ReadFileBytes(Path("Backups/writes.csv"));
  const std::string text(journal.begin(), journal.end());
  const std::string firstName = std::filesystem::path(first).filename().string();
  const std::string row = "[-_0-9]{19},SIMECU01,";
  EXPECT_TRUE(std::regex_match(text, std::regex("Time,Identifier,Result,Backup\n" + row + "failed," +
                                                firstName + "\n" + row + "written," + firstName + "\n")))
      << text;
  WriteFileBytes(Path("Backups/writes.csv"), std::vector<std::uint8_t>(journal.begin(), journal.end() - 12));
  EXPECT_TRUE(LastWriteFailed("SIMECU01"));
}

TEST_F(FlashWriteTest, WrongEraseAnswerStopsBeforeAnyBlock) {
  WriteFileBytes(Path("fw.bin"), Pattern(65536, 24));
  boot->AddFault({sim::BootPoint::Erase, 1, sim::BootFaultKind::WrongAnswer, 0xFF});
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(FirstLine(ui.errors[0]), kBadAnswerText);
  EXPECT_TRUE(Contains(ui.errors[0], "может быть уже стёрта")) << ui.errors[0];
  EXPECT_FALSE(Contains(ui.errors[0], "Отключите резервную копию")) << ui.errors[0];
  // The simulated flash was blank: no backup to name, and the user is told.
  ASSERT_EQ(Backups().size(), 1u);
  EXPECT_FALSE(Contains(ui.errors[0], "или с резервной копией")) << ui.errors[0];
  EXPECT_TRUE(Contains(ui.errors[0],
                       "\nПолной резервной копии прошивки этого ЭБУ нет: образ, прочитанный перед "
                       "записью, неполный (сохранён как " +
                           Path("Backups/" + Backups()[0]) + ")."))
      << ui.errors[0];
  EXPECT_EQ(ui.progressCaption, "Сбой: стирание");
  EXPECT_EQ(boot->EraseCount(), 2);
  EXPECT_EQ(boot->WriteBlocksAccepted(), 0);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());
}

TEST_F(FlashWriteTest, SilentEraseAfterTheBackupSuggestsTurningTheBackupOff) {
  WriteFileBytes(Path("fw.bin"), Pattern(65536, 48));
  boot->AddFault({sim::BootPoint::Erase, 0, sim::BootFaultKind::NoAnswer});
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();  // waits out the erase's ten seconds

  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(FirstLine(ui.errors[0]), kBadAnswerText);
  EXPECT_TRUE(Contains(ui.errors[0], "Отключите резервную копию в настройках")) << ui.errors[0];
  EXPECT_EQ(boot->EraseCount(), 1);
  EXPECT_EQ(boot->WriteBlocksAccepted(), 0);
}

// Anything but an image of exactly 64 KiB is refused before a byte is sent.
class FlashWriteSizeTest : public FlashSim, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(FlashWriteSizeTest, RefusedBeforeAnythingIsSent) {
  WriteFileBytes(Path("fw.bin"), Pattern(GetParam(), 26));
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find("65536"), std::string::npos) << ui.errors[0];
  EXPECT_NE(ui.errors[0].find(std::to_string(GetParam())), std::string::npos) << ui.errors[0];
  EXPECT_TRUE(ui.progress.empty());
  EXPECT_EQ(boot->BytesFromProgram(), 0u);
  EXPECT_TRUE(boot->Received().empty());
  EXPECT_TRUE(PortReleased());
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlashWriteSizeTest, ::testing::Values(65535u, 65537u, 0u, 131072u));

TEST_F(FlashWriteTest, CancelAtTheOpenDialogReadsNothingAndOpensNoPort) {
  // Without Loader.dat a read of it would show "Не найден файл Loader.dat".
  std::remove(Path("Loader.dat").c_str());
  ui.openAnswers.push_back(std::nullopt);

  Write();

  EXPECT_TRUE(ui.errors.empty());
  EXPECT_TRUE(ui.progress.empty());
  EXPECT_EQ(boot->BytesFromProgram(), 0u);
  EXPECT_TRUE(PortReleased());
}

TEST_F(FlashWriteTest, UnreadableFirmwareFileIsRefused) {
  ui.openAnswers.push_back(Path("no-such-file.bin"));

  Write();

  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].rfind("Ошибка открытия файла прошивки", 0), 0u) << ui.errors[0];
  EXPECT_EQ(boot->BytesFromProgram(), 0u);
}

TEST(BackupFileName, KeepsLettersDigitsDashAndUnderscoreOfTheIdentifier) {
  std::tm t{};
  t.tm_year = 2024 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 5;
  t.tm_hour = 7;
  t.tm_min = 8;
  t.tm_sec = 9;
  EXPECT_EQ(BackupFileName("SIMECU01", t), "SIMECU01_2024-03-05_07-08-09.bin");
  EXPECT_EQ(BackupFileName("A-b_1 2/.?", t), "A-b_1_2____2024-03-05_07-08-09.bin");
  EXPECT_EQ(BackupFileName("ЭБУ №1", t), "ЭБУ__1_2024-03-05_07-08-09.bin");
}

TEST(Crc32, MatchesTheStandardCheckValue) {
  const std::string text = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0xCBF43926u);
}

}  // namespace
