#pragma once
// Decoding of the diagnostic data frame into an EcuDataRecord.

#include <cstdint>

struct EcuDataRecord;

// data starts at the 0x61 byte; reads 97 bytes. User-interface thread.
void DecodeDataFrame(const std::uint8_t* data, EcuDataRecord& out);
