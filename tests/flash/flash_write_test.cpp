// The "Записать" command against the simulated boot code and loader.
#include "flash/flash.h"
#include "tests/flash/flash_fixture.h"

namespace {

using Captions = std::vector<std::pair<std::string, int>>;

class FlashWriteTest : public FlashSim {};

TEST_F(FlashWriteTest, EcuFlashEqualsTheFileAfterTwoErases) {
  const auto file = Pattern(65536, 21);
  WriteFileBytes(Path("fw.bin"), file);
  PreloadImage(22);
  ui.openAnswers.push_back(Path("fw.bin"));

  FlashWrite(port);

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
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_EQ(PortHandle.load(), kNoPort);
}

TEST_F(FlashWriteTest, AcknowledgementOneAtBlock300StopsThere) {
  WriteFileBytes(Path("fw.bin"), Pattern(65536, 23));
  boot->AddFault({sim::BootPoint::WriteBlock, 300, sim::BootFaultKind::WrongAnswer, 0x01});
  ui.openAnswers.push_back(Path("fw.bin"));

  FlashWrite(port);

  EXPECT_EQ(ui.errors, std::vector<std::string>{kBadAnswerText});
  EXPECT_EQ(boot->WriteBlocksAccepted(), 301);  // blocks 0..300 reached the ECU, no more
  EXPECT_EQ(ui.progressSteps, 359 + 8 + 1 + 1 + 300);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_EQ(PortHandle.load(), kNoPort);
}

TEST_F(FlashWriteTest, WrongEraseAnswerStopsBeforeAnyBlock) {
  WriteFileBytes(Path("fw.bin"), Pattern(65536, 24));
  boot->AddFault({sim::BootPoint::Erase, 1, sim::BootFaultKind::WrongAnswer, 0xFF});
  ui.openAnswers.push_back(Path("fw.bin"));

  FlashWrite(port);

  EXPECT_EQ(ui.errors, std::vector<std::string>{kBadAnswerText});
  EXPECT_EQ(boot->EraseCount(), 2);
  EXPECT_EQ(boot->WriteBlocksAccepted(), 0);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_EQ(PortHandle.load(), kNoPort);
}

// Anything but an image of exactly 64 KiB is refused before a byte is sent.
class FlashWriteSizeTest : public FlashSim, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(FlashWriteSizeTest, RefusedBeforeAnythingIsSent) {
  WriteFileBytes(Path("fw.bin"), Pattern(GetParam(), 26));
  ui.openAnswers.push_back(Path("fw.bin"));

  FlashWrite(port);

  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find("65536"), std::string::npos) << ui.errors[0];
  EXPECT_NE(ui.errors[0].find(std::to_string(GetParam())), std::string::npos) << ui.errors[0];
  EXPECT_TRUE(ui.progress.empty());
  EXPECT_EQ(line->BytesFromProgram(), 0u);
  EXPECT_TRUE(boot->Received().empty());
  EXPECT_EQ(PortHandle.load(), kNoPort);
}

INSTANTIATE_TEST_SUITE_P(Sizes, FlashWriteSizeTest, ::testing::Values(65535u, 65537u, 0u, 131072u));

TEST_F(FlashWriteTest, CancelAtTheOpenDialogReadsNothingAndOpensNoPort) {
  // Without Loader.dat a read of it would show "Не найден файл Loader.dat".
  std::remove(Path("Loader.dat").c_str());
  ui.openAnswers.push_back(std::nullopt);

  FlashWrite(port);

  EXPECT_TRUE(ui.errors.empty());
  EXPECT_TRUE(ui.progress.empty());
  EXPECT_EQ(line->BytesFromProgram(), 0u);
  EXPECT_EQ(PortHandle.load(), kNoPort);
}

TEST_F(FlashWriteTest, UnreadableFirmwareFileIsRefused) {
  ui.openAnswers.push_back(Path("no-such-file.bin"));

  FlashWrite(port);

  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(ui.errors[0].rfind("Ошибка открытия файла прошивки", 0), 0u) << ui.errors[0];
  EXPECT_EQ(line->BytesFromProgram(), 0u);
}

}  // namespace
