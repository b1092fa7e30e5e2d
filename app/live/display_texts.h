#pragma once
// The texts the display shows for the ECU data: top strip, the diagnostics
// page's boxes and flags, and the LC-1 status panel. User-interface thread.

#include <array>
#include <string>

struct EcuDataRecord;

constexpr int kDiagBoxCount = 12;
constexpr int kDiagFlagCount = 7;

// Captions of the diagnostics boxes, top to bottom (lblRPM2 .. lblErrCnt).
extern const std::array<const char*, kDiagBoxCount> kDiagBoxCaptions;
// Captions of the flag check boxes, top to bottom (cbfSTOP .. cbfLEARN).
extern const std::array<const char*, kDiagFlagCount> kDiagFlagCaptions;

// lblRPM: RPM as an integer.
std::string RpmText(const EcuDataRecord& d);
// lblCorrUOZ: CorrUOZ as "#0.#".
std::string CorrUozText(const EcuDataRecord& d);
// The twelve box texts in the order of kDiagBoxCaptions.
std::array<std::string, kDiagBoxCount> DiagnosticsTexts(const EcuDataRecord& d);
// The seven flags in the order of kDiagFlagCaptions.
std::array<bool, kDiagFlagCount> DiagnosticsFlags(const EcuDataRecord& d);
// Status panel 7: " LC1 AFR: --" without an LC-1 value (-1), else " LC1 AFR: #0.0".
std::string LambdaPanelText(double afrLc1);
