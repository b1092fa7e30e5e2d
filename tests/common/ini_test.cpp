// The profile-file text and the Windows-1251 conversion under cfg.ini.
#include "common/ini.h"

#include <gtest/gtest.h>

#include "common/cp1251.h"

namespace {

TEST(Cp1251, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(all)), all);
}

TEST(Cp1251, CyrillicMapsToTheCodePage) {
  EXPECT_EQ(Utf8ToCp1251("Нет"), "\xCD\xE5\xF2");
  EXPECT_EQ(Cp1251ToUtf8("\xCD\xE5\xF2"), "Нет");
  EXPECT_EQ(Utf8ToCp1251("Ёё№"), "\xA8\xB8\xB9");
}

TEST(Cp1251, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD"
                         "b"),
            "a?b");                        // a CJK letter
  EXPECT_EQ(Utf8ToCp1251("a\xD0"), "a?");  // cut UTF-8 sequence
  EXPECT_EQ(Utf8ToCp1251("\xFF"
                         "x"),
            "?x");  // not UTF-8 at all
}

TEST(IniText, NamesMatchWithoutRegardToCaseIncludingCyrillic) {
  const IniText ini("[ECU]\r\nPORT=COM3\r\n[\xD0\xE0\xE7\xE4\xE5\xEB]\r\n\xCA\xEB\xFE\xF7=1\r\n");
  EXPECT_EQ(ini.Read("Ecu", "port"), "COM3");
  EXPECT_EQ(ini.Read("\xF0\xE0\xE7\xE4\xE5\xEB", "\xEA\xEB\xFE\xF7"), "1");  // lower-case Cyrillic
  EXPECT_EQ(ini.Read("Ecu", "CBR"), std::nullopt);
  EXPECT_EQ(ini.Read("Lambda", "Port"), std::nullopt);
}

TEST(IniText, ReadTrimsBlanksDropsQuotesAndTakesTheFirstMatch) {
  const IniText ini(
      "; comment=1\n[a]\n  key =  value with blanks  \nq=\"quoted \"\nkey=second\n[A]\nlate=1\n[b]\nkey=b\n");
  EXPECT_EQ(ini.Read("a", "key"), "value with blanks");
  EXPECT_EQ(ini.Read("a", "q"), "quoted ");
  EXPECT_EQ(ini.Read("a", "late"), std::nullopt);  // only the first [a] counts
  EXPECT_EQ(ini.Read("b", "KEY"), "b");
  EXPECT_EQ(ini.Read("a", "; comment"), std::nullopt);
}

TEST(IniText, WriteReplacesInPlaceKeepingTheNameAndEveryOtherLine) {
  IniText ini("; top\r\n[ECU]\r\n PORT = COM3\r\n; note\r\n\r\n[Other]\r\nx=y\r\n");
  ini.Write("Ecu", "Port", "COM4");
  EXPECT_EQ(ini.Bytes(), "; top\r\n[ECU]\r\nPORT=COM4\r\n; note\r\n\r\n[Other]\r\nx=y\r\n");
}

TEST(IniText, UnchangedValueKeepsItsLineByteForByte) {
  const std::string text = "[Ecu]\r\n  Port =  COM3 \r\n";
  IniText ini(text);
  ini.Write("ecu", "port", "COM3");
  EXPECT_EQ(ini.Bytes(), text);
}

TEST(IniText, MissingKeyGoesAfterTheLastLineOfItsSection) {
  IniText ini("[Ecu]\r\nPort=COM3\r\n\r\n[Logs]\r\nWriteLog=1\r\n");
  ini.Write("Ecu", "CBR", "2");
  EXPECT_EQ(ini.Bytes(), "[Ecu]\r\nPort=COM3\r\nCBR=2\r\n\r\n[Logs]\r\nWriteLog=1\r\n");
}

TEST(IniText, MissingSectionIsAppendedWithTheFileLineEnding) {
  IniText lf("[Ecu]\nPort=COM3");  // last line without ending
  lf.Write("Logs", "WriteLog", "0");
  EXPECT_EQ(lf.Bytes(), "[Ecu]\nPort=COM3\n[Logs]\nWriteLog=0\n");

  IniText empty;
  empty.Write("Ecu", "Port", "COM2");
  empty.Write("Ecu", "CBR", "1");
  EXPECT_EQ(empty.Bytes(), "[Ecu]\r\nPort=COM2\r\nCBR=1\r\n");
}

}  // namespace
