#include "app/live/display_texts.h"

#include "common/format.h"
#include "ecu/ecu_data.h"

const std::array<const char*, kDiagBoxCount> kDiagBoxCaptions = {"RPM", "THR", "AFR", "TWAT", "TAIR",  "UOZ",
                                                                 "AIR", "GBC", "INJ", "SSM",  "PRESS", "ERR"};

const std::array<const char*, kDiagFlagCount> kDiagFlagCaptions = {"fSTOP", "fXX",     "fFUELOFF", "fDETZONE",
                                                                   "fDET",  "fLAMREG", "fLEARN"};

std::string RpmText(const EcuDataRecord& d) { return std::to_string(d.RPM); }

std::string CorrUozText(const EcuDataRecord& d) { return FormatFloat("#0.#", d.CorrUOZ.load()); }

std::array<std::string, kDiagBoxCount> DiagnosticsTexts(const EcuDataRecord& d) {
  return {std::to_string(d.RPM),       std::to_string(d.THR),         FormatFloat("#0.0", d.AFR),
          std::to_string(int{d.TWAT}), std::to_string(int{d.TAIR}),   FormatFloat("#0.#", d.UOZ),
          FormatFloat("###0", d.AIR),  FormatFloat("##0.#", d.GBC),   FormatFloat("#0.#", d.INJ),
          std::to_string(d.SSM),       FormatFloat("##0.#", d.PRESS), std::to_string(d.ERR_CNT)};
}

std::array<bool, kDiagFlagCount> DiagnosticsFlags(const EcuDataRecord& d) {
  return {d.fSTOP != 0, d.fXX != 0,     d.fFUELOFF != 0, d.fDETZONE != 0,
          d.fDET != 0,  d.fLAMREG != 0, d.fLEARN != 0};
}

std::string LambdaPanelText(double afrLc1) {
  if (afrLc1 == -1.0) return " LC1 AFR: --";
  return FormatFloat(" LC1 AFR: #0.0", afrLc1);
}
