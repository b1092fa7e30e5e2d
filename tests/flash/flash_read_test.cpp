// The "Считать" command against the simulated boot code and loader.
#include <algorithm>
#include <filesystem>

#include "flash/flash.h"
#include "flash/loader.h"
#include "tests/flash/flash_fixture.h"

namespace {

using Captions = std::vector<std::pair<std::string, int>>;

class FlashReadTest : public FlashSim {};

TEST_F(FlashReadTest, SavedFileEqualsTheEcuImageByteForByte) {
  const auto image = PreloadImage(11);
  boot->SetIdentifier("ABCDEFGH");
  ui.saveAnswers.push_back(Path("read.bin"));

  Read();

  EXPECT_TRUE(ui.errors.empty()) << ui.errors.front();
  const auto saved = ReadFileBytes(Path("read.bin"));
  ASSERT_EQ(saved.size(), 65536u);
  EXPECT_TRUE(std::equal(saved.begin(), saved.end(), image.begin()));
  EXPECT_EQ(ui.progress, (Captions{{"Чтение файла загрузчика ...", 359},
                                   {"Передача загрузчика ... ", 8},
                                   {"Чтение идентификатора ... ", 1},
                                   {"Чтение прошивки ABCDEFGH ... ", 256}}));
  EXPECT_EQ(ui.progressSteps, 359 + 8 + 1 + 256);
  EXPECT_EQ(ui.stepsOutOfOrder, 0);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());
  EXPECT_EQ(boot->UploadedLoader(), loader);
  // After the upload: the identifier request, the byte that opens the read,
  // and one request byte per block.
  const auto wire = boot->Received();
  const std::size_t upload = 1 + 8 + 6 * 62 + 8 + 1;
  ASSERT_EQ(wire.size(), upload + 4 + 1 + 256);
  EXPECT_EQ(std::vector<std::uint8_t>(wire.begin() + upload, wire.begin() + upload + 5),
            (std::vector<std::uint8_t>{0x11, 0x20, 0x60, 0x08, 0x0A}));
  EXPECT_EQ(std::count(wire.begin() + upload + 5, wire.end(), 0x12), 256);
}

TEST_F(FlashReadTest, CancelAtTheSaveDialogSavesNothingAndSaysNothing) {
  PreloadImage(12);
  ui.saveAnswers.push_back(std::nullopt);

  Read();

  EXPECT_TRUE(ui.errors.empty());
  EXPECT_EQ(boot->ReadBlocksSent(), 256);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    files += e.path().filename() != "Loader.dat";
  EXPECT_EQ(files, 0);
}

TEST_F(FlashReadTest, ShortIdentifierShowsOnlyTheCharactersThatArrived) {
  boot->SetIdentifier("ABCDEFGH");
  boot->AddFault({sim::BootPoint::Identifier, 0, sim::BootFaultKind::ShortAnswer, 3});
  boot->AddFault({sim::BootPoint::ReadBlock, 0, sim::BootFaultKind::BadSum});  // ends the read early

  Read();

  ASSERT_EQ(ui.progress.size(), 4u);
  EXPECT_EQ(ui.progress[3].first, "Чтение прошивки ABC ... ");
}

TEST_F(FlashReadTest, SaveFailureIsReportedAndLeavesNoFile) {
  PreloadImage(13);
  const std::string target = Path("missing-folder/read.bin");
  ui.saveAnswers.push_back(target);

  Read();

  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].rfind("Ошибка записи файла прошивки", 0), 0u) << ui.errors[0];
  EXPECT_FALSE(std::filesystem::exists(target));
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());
}

// Each fault stops the read with its message; nothing is saved, the panel is
// hidden and the port closed.
struct ReadFault {
  const char* name;
  sim::BootFault fault;
  std::string message;
};

class FlashReadFaultTest : public FlashSim, public ::testing::WithParamInterface<ReadFault> {};

TEST_P(FlashReadFaultTest, StopsWithTheMessageAndSavesNothing) {
  PreloadImage(14);
  boot->AddFault(GetParam().fault);
  ui.saveAnswers.push_back(Path("read.bin"));

  Read();

  EXPECT_EQ(ui.errors, std::vector<std::string>{GetParam().message});
  EXPECT_FALSE(std::filesystem::exists(Path("read.bin")));
  EXPECT_EQ(ui.saveAnswers.size(), 1u) << "the save dialog must not be shown";
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FlashReadFaultTest,
    ::testing::Values(ReadFault{"FirstByte0x7FAtBlock5",
                                {sim::BootPoint::ReadBlock, 5, sim::BootFaultKind::StrayByte, 0x7F},
                                " Неверный ответ ЭБУ      5   127"},
                      ReadFault{"Block0AnsweredByTheEchoAlone",
                                {sim::BootPoint::ReadBlock, 0, sim::BootFaultKind::NoAnswer},
                                " Неверный ответ ЭБУ      0   18"},
                      ReadFault{"WrongSumAtBlock9",
                                {sim::BootPoint::ReadBlock, 9, sim::BootFaultKind::BadSum},
                                " Неверная контрольная сумма    "},
                      ReadFault{"LineSilentFromBlock3",
                                {sim::BootPoint::ReadBlock, 3, sim::BootFaultKind::Silent},
                                " Неверный ответ ЭБУ      3   18"},
                      ReadFault{"SilentDuringTheUpload",
                                {sim::BootPoint::UploadBlock, 2, sim::BootFaultKind::Silent},
                                " Неверный ответ ЭБУ    "}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IdentifierText, OneCharacterPerByte) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    std::string text;
  };
  const Case cases[] = {
      {{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}, "ABCDEFGH"},
      {{'1', '2'}, "12"},
      {{}, ""},
      {{0xC0, 0xFF, 0xA8, 0xB8}, "АяЁё"},
      {{0x00, 0x0D, 0x7F, 0x1F}, "????"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IdentifierText(c.bytes.data(), static_cast<int>(c.bytes.size())), c.text);
}

}  // namespace
