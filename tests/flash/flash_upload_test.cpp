// The loader upload and the steps before it, as the boot code sees them.
#include <filesystem>

#include "common/paths.h"
#include "flash/flash.h"
#include "tests/flash/flash_fixture.h"

namespace {

constexpr int kBlockLength[8] = {8, 62, 62, 62, 62, 62, 62, 8};

// The upload as it must appear on the wire, built from the loader bytes.
std::vector<std::uint8_t> ExpectedUpload(const std::vector<std::uint8_t>& loader) {
  std::vector<std::uint8_t> wire{0x00};
  auto block = [&](std::vector<std::uint8_t> b) {
    std::uint8_t x = 0;
    for (auto v : b) x ^= v;
    b.push_back(x);
    wire.insert(wire.end(), b.begin(), b.end());
  };
  wire.insert(wire.end(), {0x00, 0x00, 0xF4, 0x00, 0x00, 0x00, 0x3E, 0xCA});
  for (int k = 0; k < 5; ++k) {
    std::vector<std::uint8_t> b{0x01};
    b.insert(b.end(), loader.begin() + 60 * k, loader.begin() + 60 * k + 60);
    block(b);
  }
  std::vector<std::uint8_t> last{0x02, 0x3B};
  last.insert(last.end(), loader.begin() + 300, loader.begin() + 359);
  block(last);
  wire.insert(wire.end(), {0x00, 0x01, 0xF4, 0x04, 0x00, 0x00, 0x00, 0xF1});
  wire.push_back(0x00);
  return wire;
}

class UploadTest : public FlashSim {};

TEST_F(UploadTest, EveryBlockGoesOnTheWireByteForByte) {
  WriteFileBytes(Path("fw.bin"), Pattern(65536, 35));
  ui.openAnswers.push_back(Path("fw.bin"));
  boot->AddFault({sim::BootPoint::Erase, 0, sim::BootFaultKind::WrongAnswer, 0xFF});  // stop after the upload

  Write();

  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(FirstLine(ui.errors[0]), kBadAnswerText);
  const auto expected = ExpectedUpload(loader);
  ASSERT_EQ(expected.size(), 1u + 8 + 6 * 62 + 8 + 1);
  auto withErase = expected;
  withErase.push_back(0x10);
  EXPECT_EQ(boot->Received(), withErase);
}

TEST_F(UploadTest, LongerLoaderFileSendsOnlyItsFirst359Bytes) {
  auto big = Pattern(400, 31);
  WriteFileBytes(Path("Loader.dat"), big);
  WriteFileBytes(Path("fw.bin"), Pattern(65536, 34));
  ui.openAnswers.push_back(Path("fw.bin"));
  boot->AddFault({sim::BootPoint::Erase, 0, sim::BootFaultKind::WrongAnswer, 0xFF});  // stop after the upload

  Write();

  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_EQ(FirstLine(ui.errors[0]), kBadAnswerText);
  EXPECT_EQ(boot->UploadedLoader(), std::vector<std::uint8_t>(big.begin(), big.begin() + 359));
}

// A wrong or missing acknowledgement at any block stops the upload right there.
struct AckFault {
  int block;
  sim::BootFaultKind kind;
};

class UploadAckTest : public FlashSim, public ::testing::WithParamInterface<AckFault> {};

TEST_P(UploadAckTest, StopsAtThatBlock) {
  const int k = GetParam().block;
  boot->AddFault({sim::BootPoint::UploadBlock, k, GetParam().kind, 0x54});
  ui.saveAnswers.push_back(Path("read.bin"));

  Read();

  EXPECT_EQ(ui.errors, std::vector<std::string>{kBadAnswerText});
  EXPECT_EQ(ui.progressSteps, 359 + k);  // the blocks before it were acknowledged
  int sent = 1;
  for (int i = 0; i <= k; ++i) sent += kBlockLength[i];
  EXPECT_EQ(boot->Received().size(), static_cast<std::size_t>(sent));
  EXPECT_EQ(ui.saveAnswers.size(), 1u);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());
}

INSTANTIATE_TEST_SUITE_P(EachBlock, UploadAckTest,
                         ::testing::Values(AckFault{0, sim::BootFaultKind::WrongAnswer},
                                           AckFault{1, sim::BootFaultKind::WrongAnswer},
                                           AckFault{2, sim::BootFaultKind::WrongAnswer},
                                           AckFault{3, sim::BootFaultKind::WrongAnswer},
                                           AckFault{4, sim::BootFaultKind::WrongAnswer},
                                           AckFault{5, sim::BootFaultKind::WrongAnswer},
                                           AckFault{6, sim::BootFaultKind::WrongAnswer},
                                           AckFault{7, sim::BootFaultKind::WrongAnswer},
                                           AckFault{0, sim::BootFaultKind::NoAnswer},
                                           AckFault{6, sim::BootFaultKind::NoAnswer}));

TEST_F(UploadTest, FirstByteAnsweredAAStopsAtOnce) {
  boot->AddFault({sim::BootPoint::UploadStart, 0, sim::BootFaultKind::WrongAnswer, 0xAA});

  Read();

  EXPECT_EQ(ui.errors, std::vector<std::string>{kBadAnswerText});
  EXPECT_EQ(boot->Received(), std::vector<std::uint8_t>{0x00});
  EXPECT_EQ(ui.progressSteps, 359);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());
}

TEST_F(UploadTest, FinalByteAnsweredOtherThanOneStops) {
  boot->AddFault({sim::BootPoint::UploadEnd, 0, sim::BootFaultKind::WrongAnswer, 0x55});

  Read();

  EXPECT_EQ(ui.errors, std::vector<std::string>{kBadAnswerText});
  EXPECT_EQ(boot->Received().size(), ExpectedUpload(loader).size());
  EXPECT_TRUE(PortReleased());
}

TEST_F(UploadTest, MissingLoaderFileEndsBeforeThePortIsOpenedAndNamesEveryPlaceSearched) {
  std::remove(Path("Loader.dat").c_str());

  Read();

  ASSERT_EQ(ui.errors.size(), 1u);
  const std::string& text = ui.errors[0];
  EXPECT_EQ(text.rfind("Не найден файл Loader.dat\n", 0), 0u) << text;
  // Beside the executable and in the per-user data folder.
  const std::vector<std::string> places = LoaderSearchPaths();
  ASSERT_EQ(places.size(), 2u);
  EXPECT_EQ(places[0], Path("Loader.dat"));
  for (const std::string& place : places) EXPECT_NE(text.find("\n" + place), std::string::npos) << text;
  EXPECT_EQ(boot->BytesFromProgram(), 0u);
  EXPECT_FALSE(ui.progressVisible);
}

TEST_F(UploadTest, ShortLoaderFileIsRefusedBeforeThePortIsOpened) {
  WriteFileBytes(Path("Loader.dat"), Pattern(358, 32));
  WriteFileBytes(Path("fw.bin"), Pattern(65536, 33));
  ui.openAnswers.push_back(Path("fw.bin"));

  Write();

  ASSERT_EQ(ui.errors.size(), 1u);
  EXPECT_NE(ui.errors[0].find("Loader.dat"), std::string::npos);
  EXPECT_NE(ui.errors[0].find("359"), std::string::npos);
  EXPECT_EQ(boot->BytesFromProgram(), 0u);
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());
}

TEST_F(UploadTest, LoaderThatCannotBeReadIsReported) {
  std::remove(Path("Loader.dat").c_str());
  std::filesystem::create_directory(Path("Loader.dat"));

  Read();

  EXPECT_EQ(ui.errors, std::vector<std::string>{"Ошибка чтения файла загрузчика " + Path("Loader.dat") +
                                                ": это папка, а не файл"});
  EXPECT_EQ(boot->BytesFromProgram(), 0u);
  EXPECT_FALSE(ui.progressVisible);
}

TEST_F(UploadTest, AbsentPortIsReportedWithThePortMessage) {
  Read(Path("no-such-port"));

  EXPECT_EQ(ui.errors, std::vector<std::string>{"Ошибка открытия порта " + Path("no-such-port") +
                                                ": нет такого устройства"});
  EXPECT_FALSE(ui.progressVisible);
  EXPECT_TRUE(PortReleased());

  // A name longer than the system takes: the reason in words, not its number.
  const std::string tooLong = Path(std::string(300, 'x'));
  Read(tooLong);
  ASSERT_EQ(ui.errors.size(), 2u);
  EXPECT_EQ(ui.errors[1], "Ошибка открытия порта " + tooLong + ": слишком длинное имя");
}

TEST_F(UploadTest, CommandDuringALiveLinkLeavesThatLinksPortAlone) {
  const SimTestLine other("line2", "puppet");
  const auto live = KLinePort::OpenForFlash(other.Port());  // stands in for the session's open port
  sessionHoldsPort = true;

  Read();

  EXPECT_EQ(ui.errors,
            std::vector<std::string>{"Ошибка открытия порта " + port + ": порт занят соединением с ЭБУ"});
  EXPECT_TRUE(live->IsOpen());
  EXPECT_EQ(boot->BytesFromProgram(), 0u);
  EXPECT_FALSE(ui.progressVisible);
}

}  // namespace
