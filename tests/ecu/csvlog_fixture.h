#pragma once
// The CSV log tests' shared parts: the header line, a frame with a value in
// every form, and a folder standing in for the executable's.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/paths.h"
#include "ecu/csvlog.h"
#include "ecu/dataframe.h"
#include "ecu/ecu_data.h"
#include "tests/support/temp_dir.h"
#include "tests/support/test_ui.h"

namespace fs = std::filesystem;

inline const char* const kHeader =
    "Time,THR,RPM,RPM40,RPM_GBC_RT,UFRXX,SSM,TWAT,TAIR,ALF,AFR,ALF_LC1,AFR_LC1,COEFF,DGTC_RICH,DGTC_LEAN,UOZ,"
    "KUOZ1,KUOZ2,KUOZ3,KUOZ4,FAZ,INJ,FUSE,AIR,GBC,KGBC,SPD,ADCKNOCK,ADCMAF,ADCTWAT,ADCTAIR,ADCTPS,ADCUBAT,"
    "ADCLAM,ERR_CNT,ERR,fSTOP,fXX,fXXPrev,fXXFix,fPOW,fFUELOFF,fDETZONE,fDET,fADS,fLAMREG,fLAM,fLEARN,"
    "fLAMRDY,"
    "fLAMHEAT,KINJ_AIRFREE,UOZ_TCORR,DUOZ_REGXX,DIUOZ,JUFRXX,JFRXX1,JFRXX2,DELTA_RPM_XX,DERR_RPM,PXX_ZONE,"
    "RAM_2A,RAM_2D,TWAT_RT,THR_RT_16,RPM_RT,RPM_RT_16,RPM_THR_RT,GBC_RT,GBC_RT_16,KGTC,DUOZ,DUOZ_LAUNCH,"
    "LaunchFuelCutOff,DELAY_FUEL_CUTOFF,PRESS_RT,PRESS,TARGET_BOOST,TURBO_DYNAMICS,WGDC,TCHARGE,TCHARGE_"
    "COEFF,"
    "FCHARGE_GBC,KGBC_DAD,FCRG_GBC_FIN,KNOCK,DGTC_DAD_RICH,TLE_PIN_0_7,TLE_PIN_8_15,F8C0";

inline std::vector<std::string> Split(const std::string& s) {
  std::vector<std::string> out;
  std::stringstream ss(s);
  std::string item;
  while (std::getline(ss, item, ',')) out.push_back(item);
  if (!s.empty() && s.back() == ',') out.push_back("");
  return out;
}

inline std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A frame with a value in every form of the log.
inline EcuDataRecord KnownFrame() {
  std::array<std::uint8_t, 97> data{};
  data[0] = 0x61;
  data[1] = 0x0D;
  auto set = [&](int offset, std::uint8_t b) { data[2 + offset] = b; };
  set(0, 0x81);                  // fSTOP, fLEARN
  set(3, 0x01), set(4, 0x02);    // ERR 513
  set(8, 0xA8);                  // TWAT -128
  set(9, 0x80);                  // ALF 1, AFR 14.7
  set(11, 37);                   // THR
  set(14, 0xE8), set(15, 0x03);  // RPM 5000
  set(19, 0xFE);                 // FAZ -6
  set(20, 0xF6);                 // UOZ -5
  set(21, 0x0B);                 // KUOZ1 5.5
  set(25, 1);                    // ADCKNOCK 0.02
  set(38, 255);                  // ADCLAM 2.5
  set(43, 0xF4), set(44, 0x01);  // INJ 4, FUSE 16.65
  set(45, 0x7D), set(46, 0x04);  // AIR 114.9
  set(47, 0x4B);                 // GBC 12.5
  set(52, 50), set(53, 64);      // TCHARGE 40, TCHARGE_COEFF 0.25
  set(67, 0xFF);                 // DERR_RPM -10
  set(73, 128);                  // WGDC 50.196
  set(81, 50);                   // DUOZ_LAUNCH 44
  set(85, 0x39), set(86, 0x30);  // FCHARGE_GBC 12345
  set(89, 0x39), set(90, 0x30);  // PRESS 123.45
  EcuDataRecord d;
  DecodeDataFrame(data.data(), d);
  d.AFR_LC1 = -1.0;  // no LC-1
  return d;
}

class CsvLogFile : public ::testing::Test {
 protected:
  void SetUp() override { SetAppDirOverride(dir_.File()); }
  void TearDown() override {
    log.Close();
    SetAppDirOverride("");
  }

  void WriteLogRow() { log.WriteRow(data); }

  EcuDataRecord data = KnownFrame();
  TempDir dir_;
  RecordingUi ui;
  CsvLog log{[this](const std::string& text) { ui.OnError(text); }};
};
