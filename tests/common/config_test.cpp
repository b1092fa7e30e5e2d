// cfg.ini: the configuration record's file, its defaults and failures.
#include "common/config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/cp1251.h"
#include "tests/common/config_fixture.h"

namespace {

const std::string kNo1251 = "\xCD\xE5\xF2";  // "Нет" in Windows-1251

TEST_F(ConfigFile, FirstStartWithoutFileUsesFallbacksSilentlyAndTheFirstSaveCreatesIt) {
  ConfigRecord cfg = Fresh();
  InitConfig(cfg, notices_);
  EXPECT_EQ(cfg.Port, "COM2");
  EXPECT_EQ(cfg.CBR, 1);
  EXPECT_EQ(cfg.DataInterval, 150);
  EXPECT_EQ(cfg.ScreenInterval, 500);
  EXPECT_EQ(cfg.WriterPause, 20);
  EXPECT_EQ(cfg.LambdaPort, "Нет");
  EXPECT_EQ(cfg.LambdaEnabled, 0);
  EXPECT_EQ(cfg.WriteLog, 0);
  EXPECT_EQ(cfg.Echo, 1);
  EXPECT_EQ(cfg.FastInit, 0);
  EXPECT_EQ(cfg.NotCheckReplyLen, 1);
  EXPECT_EQ(cfg.FlashBackup, 1);
  EXPECT_EQ(cfg.FlashVerify, 1);
  EXPECT_TRUE(Errors().empty());
  EXPECT_EQ(Read(), "<missing>");

  EXPECT_TRUE(SaveConfig(cfg, notices_));
  EXPECT_EQ(Read(),
            "[Ecu]\r\nPort=COM2\r\nCBR=1\r\nAutoReconnect=0\r\n[Interval]\r\nData=150\r\nScreen=500\r\n"
            "WriterPause=20\r\n"
            "[Lambda]\r\nPort=" +
                kNo1251 + "\r\n[Logs]\r\nWriteLog=0\r\n[Flash]\r\nBackup=1\r\nVerify=1\r\n");
}

TEST_F(ConfigFile, EmptyFileGivesTheKeyDefaults) {
  Write("");
  ConfigRecord cfg = Fresh();
  EXPECT_TRUE(LoadConfig(cfg, notices_));
  EXPECT_EQ(cfg.Port, "COM2");
  EXPECT_EQ(cfg.CBR, 1);
  EXPECT_EQ(cfg.DataInterval, 150);
  EXPECT_EQ(cfg.ScreenInterval, 300);  // 500 only without any file
  EXPECT_EQ(cfg.WriterPause, 20);
  EXPECT_EQ(cfg.LambdaPort, "COM5");
  EXPECT_EQ(cfg.LambdaEnabled, 1);
  EXPECT_EQ(cfg.WriteLog, 0);
}

TEST_F(ConfigFile, NotCheckReplyLenIsOnAfterEveryStart) {
  Write("[Ecu]\r\nPort=COM1\r\n");
  ConfigRecord cfg = Fresh();
  InitConfig(cfg, notices_);
  EXPECT_EQ(cfg.NotCheckReplyLen, 1);
  EXPECT_EQ(cfg.Port, "COM1");
  EXPECT_EQ(cfg.ScreenInterval, 300);
}

TEST_F(ConfigFile, OnlyTheExactWordNoDisablesTheLc1) {
  struct Case {
    std::string stored;
    std::string port;
    int enabled;
  };
  for (const Case& c : {Case{kNo1251, "Нет", 0}, Case{"\xED\xE5\xF2", "нет", 1},
                        Case{"ttyUSB1", "ttyUSB1", 1}, Case{"", "", 1}}) {
    Write("[Lambda]\r\nPort=" + c.stored + "\r\n");
    ConfigRecord cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg, notices_));
    EXPECT_EQ(cfg.LambdaPort, c.port);
    EXPECT_EQ(cfg.LambdaEnabled, c.enabled) << c.port;
  }
}

TEST_F(ConfigFile, WriteLogIsTrueOnlyForExactlyOne) {
  const std::pair<const char*, int> cases[] = {{"1", 1}, {" 1 ", 1}, {"0", 0},  {"yes", 0},
                                               {"2", 0}, {"", 0},    {"01", 0}, {"true", 0}};
  for (const auto& [text, expected] : cases) {
    Write(std::string("[Logs]\r\nWriteLog=") + text + "\r\n");
    ConfigRecord cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg, notices_));
    EXPECT_EQ(cfg.WriteLog, expected) << '"' << text << '"';
  }
  ConfigRecord cfg = Fresh();
  cfg.WriteLog = 1;
  ASSERT_TRUE(SaveConfig(cfg, notices_));
  EXPECT_NE(Read().find("WriteLog=1\r\n"), std::string::npos);
}

TEST_F(ConfigFile, FirmwareSafetySwitchesAreOffOnlyForAnExplicitZero) {
  const std::pair<const char*, int> cases[] = {{"0", 0}, {" 0 ", 0}, {"1", 1}, {"", 1}, {"no", 1}, {"2", 1}};
  for (const auto& [text, expected] : cases) {
    Write(std::string("[Flash]\r\nBackup=") + text + "\r\nVerify=" + text + "\r\n");
    ConfigRecord cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg, notices_));
    EXPECT_EQ(cfg.FlashBackup, expected) << '"' << text << '"';
    EXPECT_EQ(cfg.FlashVerify, expected) << '"' << text << '"';
  }
  Write("[Flash]\r\n");
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(LoadConfig(cfg, notices_));
  EXPECT_EQ(cfg.FlashBackup, 1);
  EXPECT_EQ(cfg.FlashVerify, 1);
}

TEST_F(ConfigFile, IntegersParseLikeTheProfileReaderAndNeverWrap) {
  const std::pair<const char*, int> cases[] = {
      {"200", 200},       {" 300 ", 300},   {"abc", 150},
      {"", 150},          {"70000", 500},   {"0x10", 16},
      {"0X1f", 31},       {"$FF", 255},     {"-1", 0},
      {"+40", 40},        {"12abc", 150},   {"0x", 150},
      {"$", 150},         {"1.5", 150},     {"2147483648", 500},
      {"$FFFFFFFF", 500}, {"0x10000", 500}, {"-99999999999999999999", 0},
  };
  for (const auto& [text, expected] : cases) {
    Write(std::string("[Interval]\r\nData=") + text + "\r\n");
    ConfigRecord cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg, notices_));
    EXPECT_EQ(cfg.DataInterval, expected) << '"' << text << '"';
  }
}

TEST_F(ConfigFile, SpeedIndexOutsideTheTableIsBroughtIntoIt) {
  const std::pair<const char*, int> cases[] = {{"0", 0}, {"2", 2}, {"3", 2}, {"-1", 0}, {"x", 1}, {"$2", 2}};
  for (const auto& [text, expected] : cases) {
    Write(std::string("[Ecu]\r\nCBR=") + text + "\r\n");
    ConfigRecord cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg, notices_));
    EXPECT_EQ(cfg.CBR, expected) << text;
  }
}

TEST_F(ConfigFile, NumbersOutOfRangeAreBroughtIntoTheDialogsRangesAndSaidOnce) {
  Write("[Ecu]\r\nCBR=99999999999\r\n[Interval]\r\nData=4294967296\r\nScreen=-5\r\nWriterPause=65535\r\n");
  ConfigRecord cfg = Fresh();
  InitConfig(cfg, notices_);
  EXPECT_EQ(cfg.CBR, 2);
  EXPECT_EQ(cfg.DataInterval, 500);
  EXPECT_EQ(cfg.ScreenInterval, 0);
  EXPECT_EQ(cfg.WriterPause, 200);
  EXPECT_TRUE(Errors().empty());
  ASSERT_EQ(Messages().size(), 1u);
  const std::string said = Messages()[0];
  EXPECT_NE(said.find(Path()), std::string::npos) << said;
  for (const char* line : {"[Ecu] CBR: 99999999999 заменено на 2 (допустимо от 0 до 2)",
                           "[Interval] Data: 4294967296 заменено на 500 (допустимо от 0 до 500)",
                           "[Interval] Screen: -5 заменено на 0 (допустимо от 0 до 1000)",
                           "[Interval] WriterPause: 65535 заменено на 200 (допустимо от 20 до 200)"})
    EXPECT_NE(said.find(line), std::string::npos) << line << "\n" << said;

  ASSERT_TRUE(SaveConfig(cfg, notices_));
  EXPECT_NE(Read().find("[Interval]\r\nData=500\r\nScreen=0\r\nWriterPause=200\r\n"), std::string::npos);
  ConfigRecord again = Fresh();
  InitConfig(again, notices_);
  EXPECT_EQ(again.WriterPause, 200);
  EXPECT_EQ(Messages().size(), 1u);
}

TEST_F(ConfigFile, SaveReplacesKeysInPlaceAndKeepsEverythingElse) {
  Write(
      "; my notes\r\n[ECU]\r\nPORT=COM7\r\nMyKey=keep "
      "me\r\n\r\n[Other]\r\nx=y\r\n[LOGS]\r\nwritelog=yes\r\n");
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(LoadConfig(cfg, notices_));
  cfg.Port = "ttyUSB0";
  ASSERT_TRUE(SaveConfig(cfg, notices_));
  EXPECT_EQ(Read(),
            "; my notes\r\n[ECU]\r\nPORT=ttyUSB0\r\nMyKey=keep me\r\nCBR=1\r\nAutoReconnect=0\r\n\r\n"
            "[Other]\r\nx=y\r\n"
            "[LOGS]\r\nwritelog=0\r\n[Interval]\r\nData=150\r\nScreen=300\r\nWriterPause=20\r\n"
            "[Lambda]\r\nPort=COM5\r\n[Flash]\r\nBackup=1\r\nVerify=1\r\n");
}

TEST_F(ConfigFile, Windows1251FileLoadsAndSavesByteIdentically) {
  const std::string original =
      "[Ecu]\r\nPort=COM3\r\nCBR=2\r\nAutoReconnect=1\r\n[Interval]\r\nData=0\r\nScreen=1000\r\n"
      "WriterPause=35\r\n[Lambda]\r\nPort=" +
      kNo1251 + "\r\n[Logs]\r\nWriteLog=1\r\n[Flash]\r\nBackup=0\r\nVerify=1\r\n";
  Write(original);
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(LoadConfig(cfg, notices_));
  EXPECT_EQ(cfg.LambdaPort, "Нет");
  EXPECT_EQ(cfg.LambdaEnabled, 0);
  EXPECT_EQ(cfg.AutoReconnect, 1);
  ASSERT_TRUE(SaveConfig(cfg, notices_));
  EXPECT_EQ(Read(), original);
}

TEST_F(ConfigFile, FileSavedAsUtf8WithAMarkIsReadAndKeptAsUtf8) {
  const std::string mark = "\xEF\xBB\xBF";
  Write(mark + "[Ecu]\r\nPort=COM7\r\nAutoReconnect=1\r\n[Lambda]\r\nPort=Нет\r\n");
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(LoadConfig(cfg, notices_));
  EXPECT_EQ(cfg.Port, "COM7");  // the first section is found
  EXPECT_EQ(cfg.AutoReconnect, 1);
  EXPECT_EQ(cfg.LambdaPort, "Нет");
  EXPECT_EQ(cfg.LambdaEnabled, 0);
  ASSERT_TRUE(SaveConfig(cfg, notices_));
  const std::string saved = Read();
  EXPECT_EQ(saved.substr(0, 3), mark);
  EXPECT_EQ(saved.find("[Ecu]", 4), std::string::npos) << "a second [Ecu]";
  EXPECT_NE(saved.find("[Lambda]\r\nPort=Нет\r\n"), std::string::npos);

  // A value typed in Windows-1251 behind the mark is still read as the text it is.
  Write(mark + "[Lambda]\r\nPort=" + kNo1251 + "\r\n");
  ASSERT_TRUE(LoadConfig(cfg, notices_));
  EXPECT_EQ(cfg.LambdaPort, "Нет");
  EXPECT_EQ(cfg.LambdaEnabled, 0);
}

TEST_F(ConfigFile, FileSavedAsUtf16OrUtf8WithoutAMarkIsReadAndSavedWholeInWindows1251) {
  const std::u16string text16 = u"; заметка\r\n[Ecu]\r\nPort=COM7\r\n[Lambda]\r\nPort=Нет\r\n";
  const std::string text8 = "; заметка\r\n[Ecu]\r\nPort=COM7\r\n[Lambda]\r\nPort=Нет\r\n";
  const std::string text8Lf = "; заметка\n[Ecu]\nPort=COM7\n[Lambda]\nPort=Нет\n";
  const auto utf16 = [&](bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text16) {
      const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
      bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
    }
    return bytes;
  };
  // What the same text in Windows-1251 is saved as.
  Write(Utf8ToCp1251(text8));
  ConfigRecord cfg = Fresh();
  ASSERT_TRUE(LoadConfig(cfg, notices_));
  ASSERT_TRUE(SaveConfig(cfg, notices_));
  const std::string expected = Read();
  ASSERT_EQ(expected.substr(0, 11), "; \xE7\xE0\xEC\xE5\xF2\xEA\xE0\r\n");

  for (const auto& [name, bytes] : {std::pair{"UTF-16LE", utf16(false)}, std::pair{"UTF-16BE", utf16(true)},
                                    std::pair{"UTF-8 with LF", text8Lf}}) {
    Write(bytes);
    cfg = Fresh();
    ASSERT_TRUE(LoadConfig(cfg, notices_)) << name;
    EXPECT_EQ(cfg.Port, "COM7") << name;
    EXPECT_EQ(cfg.LambdaPort, "Нет") << name;
    EXPECT_EQ(cfg.LambdaEnabled, 0) << name;
    ASSERT_TRUE(SaveConfig(cfg, notices_)) << name;
    EXPECT_EQ(Read(), expected) << name;
  }
  EXPECT_TRUE(Errors().empty());
}

TEST_F(ConfigFile, CyrillicValuesAreWrittenInWindows1251) {
  ConfigRecord cfg = Fresh();
  cfg.LambdaPort = "Нет";
  ASSERT_TRUE(SaveConfig(cfg, notices_));
  EXPECT_NE(Read().find("[Lambda]\r\nPort=" + kNo1251 + "\r\n"), std::string::npos);
}

TEST_F(ConfigFile, UnreadableAndUnwritableFilesAreReportedWithPathAndReason) {
  // A folder in the file's place cannot be read or replaced, also for root.
  ASSERT_TRUE(std::filesystem::create_directory(Path()));
  ConfigRecord cfg = Fresh();
  InitConfig(cfg, notices_);
  ASSERT_EQ(Errors(),
            std::vector<std::string>{"Ошибка чтения файла настройки " + Path() + ": это папка, а не файл"});
  EXPECT_EQ(cfg.Port, "COM2");  // the fallbacks apply
  EXPECT_EQ(cfg.ScreenInterval, 500);

  EXPECT_FALSE(SaveConfig(cfg, notices_));
  EXPECT_EQ(Errors().back(), "Ошибка записи файла настройки " + Path() + ": это папка, а не файл");
}

}  // namespace
