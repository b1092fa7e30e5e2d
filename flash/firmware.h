#pragma once
// The firmware transfer that follows the loader upload: read, erase and write
// of the 64 KiB image, and the image files. User-interface thread only; every
// failure raises EcuError, caught only by FlashRead and FlashWrite.

#include <array>
#include <cstdint>

inline constexpr int kFirmwareSize = 65536;
inline constexpr int kReadBlockSize = 256;
inline constexpr int kWriteBlockSize = 128;

// The image read from the ECU or to be written to it; survives between commands.
extern std::array<std::uint8_t, kFirmwareSize> FirmwareImage;

// Reads the 256 blocks into FirmwareImage.
void ReadFirmware();
// Asks for a file name and writes FirmwareImage there (cancel: nothing written).
void SaveFirmwareFile();
// The erase exchange: 10 -> 00.
void EraseFlash();
// A second erase, then the 512 blocks of FirmwareImage.
void WriteFirmware();
// Asks for a file and loads it into FirmwareImage. False when cancelled or
// refused (message shown); a file that is not exactly 65536 bytes is refused.
bool OpenFirmwareFile();
