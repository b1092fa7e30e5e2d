#pragma once
// The engine variables decoded from the data frame and the unidirectional
// packets. Each session holds one, written only on the user-interface thread.

#include <cstdint>

#include "common/shared_value.h"

struct EcuDataRecord {
  // Flags, 0 or 1.
  std::uint8_t fSTOP = 0, fXX = 0, fXXPrev = 0, fXXFix = 0, fPOW = 0, fFUELOFF = 0, fDETZONE = 0, fDET = 0,
               fADS = 0, fLAMREG = 0, fLAM = 0, fLEARN = 0, fLAMRDY = 0, fLAMHEAT = 0;
  std::uint8_t THR = 0, UFRXX = 0, SSM = 0, DUOZ_LAUNCH = 0, RPM_GBC_RT = 0, PRESS_RT = 0, TWAT_RT = 0,
               RPM_RT = 0, RPM_THR_RT = 0, THR_RT_16 = 0, RPM_RT_16 = 0, GBC_RT = 0, GBC_RT_16 = 0, SPD = 0,
               F8C0 = 0, RAM_2A = 0, RAM_2D = 0, PXX_ZONE = 0, DELAY_FUEL_CUTOFF = 0, TLE_PIN_0_7 = 0,
               TLE_PIN_8_15 = 0, ERR_CNT = 0;
  std::int8_t TWAT = 0, TAIR = 0;
  std::uint16_t RPM = 0;
  std::uint16_t RPM40 = 0, LaunchFuelCutOff = 0, JUFRXX = 0, JFRXX1 = 0, JFRXX2 = 0, KNOCK = 0,
                FCHARGE_GBC = 0, FCRG_GBC_FIN = 0;
  std::int16_t FAZ = 0, DERR_RPM = 0, DELTA_RPM_XX = 0;
  double UOZ = 0, KUOZ1 = 0, KUOZ2 = 0, KUOZ3 = 0, KUOZ4 = 0, DUOZ = 0, UOZ_TCORR = 0, DUOZ_REGXX = 0,
         DIUOZ = 0, AIR = 0, GBC = 0, ALF = 0;
  double AFR = 0;
  double AFR_LC1 = 0, ALF_LC1 = 0;
  double COEFF = 0, DGTC_LEAN = 0;
  double DGTC_RICH = 0;
  double DGTC_DAD_RICH = 0, INJ = 0, FUSE = 0, ADCKNOCK = 0, ADCMAF = 0, ADCTWAT = 0, ADCTAIR = 0,
         ADCUBAT = 0, ADCLAM = 0, ADCTPS = 0, TCHARGE_COEFF = 0, TCHARGE = 0, KGTC = 0, KGBC = 0,
         KGBC_DAD = 0, KINJ_AIRFREE = 0, TURBO_DYNAMICS = 0, WGDC = 0, PRESS = 0, TARGET_BOOST = 0;
  std::uint32_t ERR = 0;
  std::uint16_t SpinAngle = 0;
  double SpinRps = 0, SpinAccel = 0, SpinDt = 0, SpinTime = 0;
  // Read by the receiver thread between packets; one aligned 64-bit value.
  SharedValue<double> CorrUOZ;
};

// Takes each decoded frame or completed speed sample. User-interface thread.
class EcuDataSink {
 public:
  virtual void OnEcuData(const EcuDataRecord& d) = 0;

 protected:
  ~EcuDataSink() = default;
};
