#include "ecu/dataframe.h"

#include "ecu/ecu_data.h"

namespace {

// The record starts two bytes into the data field (after 61 0D).
constexpr int kRecordStart = 2;

std::uint16_t U16(const std::uint8_t* r, int at) {
  return static_cast<std::uint16_t>(r[at] | (r[at + 1] << 8));
}
std::int8_t S8(const std::uint8_t* r, int at) { return static_cast<std::int8_t>(r[at]); }
std::uint8_t Bit(std::uint8_t b, int n) { return (b >> n) & 1; }
// Half-degree steps of a signed byte.
double Half(const std::uint8_t* r, int at) { return static_cast<double>(S8(r, at)) / 2; }
// ADC bytes: 5 V over 256 steps.
double Adc(std::uint8_t b) { return static_cast<double>(b) * 0.01953125; }

// Bytes 0..32: flags, errors, engine speed and load, the ignition angles, the ADCs.
void DecodeEngine(const std::uint8_t* r, EcuDataRecord& d) {
  d.fSTOP = Bit(r[0], 0);
  d.fXX = Bit(r[0], 1);
  d.fPOW = Bit(r[0], 2);
  d.fFUELOFF = Bit(r[0], 3);
  d.fLAMREG = Bit(r[0], 4);
  d.fDETZONE = Bit(r[0], 5);
  d.fADS = Bit(r[0], 6);
  d.fLEARN = Bit(r[0], 7);
  d.fXXPrev = Bit(r[1], 1);
  d.fXXFix = Bit(r[1], 2);
  d.fDET = Bit(r[1], 5);
  d.fLAM = Bit(r[1], 7);

  d.ERR_CNT = r[2];
  d.ERR = static_cast<std::uint32_t>(r[3]) | (static_cast<std::uint32_t>(r[4]) << 8) |
          (static_cast<std::uint32_t>(r[5]) << 16) | (static_cast<std::uint32_t>(r[6]) << 24);
  d.RPM_GBC_RT = r[7];
  d.TWAT = static_cast<std::int8_t>(r[8] - 40);
  d.ALF = (static_cast<double>(r[9]) + 128) / 256;
  d.AFR = d.ALF * 14.7;
  d.THR = r[11];
  d.RPM40 = static_cast<std::uint16_t>(r[12] * 40);

  // The ECU reports the crank period; the quotient is cut to 16 bits as stored.
  const std::uint16_t period = U16(r, 14);
  d.RPM = period == 0 ? 0 : static_cast<std::uint16_t>(5000000u / period);
  d.UFRXX = r[16];
  d.SSM = r[17];
  d.COEFF = (static_cast<double>(r[18]) + 128) / 256;
  d.FAZ = static_cast<std::int16_t>(S8(r, 19) * 3);
  d.UOZ = Half(r, 20);
  d.KUOZ1 = Half(r, 21);
  d.KUOZ2 = Half(r, 22);
  d.KUOZ3 = Half(r, 23);
  d.KUOZ4 = Half(r, 24);
  d.ADCKNOCK = Adc(r[25]);
  d.ADCMAF = Adc(r[26]);
  d.ADCUBAT = static_cast<double>(r[27]) * 0.093;
  d.ADCTPS = Adc(r[29]);
  d.ADCTWAT = Adc(r[30]);
  d.ADCTAIR = Adc(r[31]);
}

// Bytes 33..61: lambda, the correction, injection, charge and the launch values.
void DecodeFuelAndTiming(const std::uint8_t* r, EcuDataRecord& d) {
  const std::uint16_t period = U16(r, 14);
  d.fLAMRDY = Bit(r[33], 0);
  d.fLAMHEAT = Bit(r[33], 1);
  d.CorrUOZ = Half(r, 34);
  d.SPD = r[35];
  d.TAIR = static_cast<std::int8_t>(r[37] - 40);
  // The lambda ADC is 9-bit in the ECU; halved in integers before scaling.
  d.ADCLAM = static_cast<double>((r[38] * 128 + 128) / 256) * 0.01953125;
  d.DGTC_RICH = static_cast<double>(U16(r, 39)) / 256;
  d.DGTC_LEAN = static_cast<double>(U16(r, 41)) / 256;
  const std::uint16_t inj = U16(r, 43);
  d.INJ = static_cast<double>(inj) / 125;
  d.FUSE = period == 0 ? 0.0 : static_cast<double>(inj) * 33.3 / period;
  d.AIR = static_cast<double>(U16(r, 45)) / 10;
  d.GBC = static_cast<double>(U16(r, 47)) / 6;
  d.PRESS_RT = r[51];
  d.TCHARGE_COEFF = static_cast<double>(r[53]) / 256;
  d.TCHARGE = static_cast<double>(r[52]) - 40 * d.TCHARGE_COEFF;
  d.DUOZ = Half(r, 54);
  d.LaunchFuelCutOff = static_cast<std::uint16_t>(r[55] * 40);
  d.KGTC = static_cast<double>(r[56]) / 128;
  d.F8C0 = r[57];
  d.KGBC = static_cast<double>(r[58]) / 128;
  d.KGBC_DAD = static_cast<double>(r[59]) / 128;
  d.UOZ_TCORR = Half(r, 60);
}

// Bytes 62..94: idle, table indices, knock and boost.
void DecodeTablesAndBoost(const std::uint8_t* r, EcuDataRecord& d) {
  d.JUFRXX = static_cast<std::uint16_t>(r[62] * 10);
  d.JFRXX1 = static_cast<std::uint16_t>(r[63] * 10);
  d.JFRXX2 = static_cast<std::uint16_t>(r[64] * 10);
  d.KINJ_AIRFREE = static_cast<double>(r[65]) / 256;
  d.DUOZ_REGXX = Half(r, 66);
  d.DERR_RPM = static_cast<std::int16_t>(S8(r, 67) * 10);
  d.DIUOZ = Half(r, 68);
  d.DELAY_FUEL_CUTOFF = r[69];
  d.TLE_PIN_0_7 = r[70];
  d.TLE_PIN_8_15 = r[71];
  d.TURBO_DYNAMICS = static_cast<double>(S8(r, 72)) * 100 / 255;
  d.WGDC = static_cast<double>(r[73]) * 100 / 255;
  d.TWAT_RT = r[74];
  d.RPM_RT = r[75];
  d.RPM_THR_RT = r[76];
  // The 16-cell table indices the log carries: the RPM index is the RPM/THR
  // byte itself, the THR index is not reported by this firmware, and the GBC
  // index is bits 8..11 of GBC_RT + 8.
  d.RPM_RT_16 = r[76];
  d.THR_RT_16 = 0;
  d.RAM_2A = r[77];
  d.DELTA_RPM_XX = static_cast<std::int16_t>(S8(r, 78) * 10);
  d.PXX_ZONE = r[79];
  d.RAM_2D = r[80];
  d.DUOZ_LAUNCH = static_cast<std::uint8_t>(r[81] * 6);
  d.GBC_RT = r[82];
  d.GBC_RT_16 = static_cast<std::uint8_t>(((r[82] + 8) >> 8) & 0x0F);
  d.KNOCK = U16(r, 83);
  d.FCHARGE_GBC = U16(r, 85);
  d.FCRG_GBC_FIN = U16(r, 87);
  d.PRESS = static_cast<double>(U16(r, 89)) / 100;
  d.DGTC_DAD_RICH = static_cast<double>(U16(r, 91)) / 256;
  d.TARGET_BOOST = static_cast<double>(U16(r, 93)) / 100;
}

}  // namespace

void DecodeDataFrame(const std::uint8_t* data, EcuDataRecord& d) {
  const std::uint8_t* r = data + kRecordStart;
  DecodeEngine(r, d);
  DecodeFuelAndTiming(r, d);
  DecodeTablesAndBoost(r, d);
}
