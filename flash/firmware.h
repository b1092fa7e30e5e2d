#pragma once
// The firmware transfer that follows the loader upload: read, erase and write
// of the 64 KiB image, and the image files. User-interface thread only; every
// failure raises EcuError, caught only by FlashRead and FlashWrite.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

inline constexpr int kFirmwareSize = 65536;
inline constexpr int kReadBlockSize = 256;
inline constexpr int kWriteBlockSize = 128;
inline constexpr int kWriteBlocks = kFirmwareSize / kWriteBlockSize;

using FirmwareBuffer = std::array<std::uint8_t, kFirmwareSize>;

// The image read from the ECU or to be written to it; survives between commands.
extern FirmwareBuffer FirmwareImage;

// Reads the 256 blocks into `into`, each checked by its check byte.
void ReadFirmware(FirmwareBuffer& into = FirmwareImage);
// Asks for a file name and writes FirmwareImage there (cancel: nothing written).
void SaveFirmwareFile();
// The erase exchange: 10 -> 00.
void EraseFlash();

// How far WriteFirmware got, for telling the user where a failure struck.
struct WriteProgress {
  bool erased = false;  // its erase was answered
  int blocksAcknowledged = 0;
};
// A second erase, then the 512 blocks of FirmwareImage.
void WriteFirmware(WriteProgress& progress);
// Asks for a file and loads it into FirmwareImage; returns its path. Nothing
// when cancelled or refused (message shown); a file that is not exactly 65536
// bytes is refused.
std::optional<std::string> OpenFirmwareFile();

// CRC-32 as zip and most flashing tools print it (IEEE 802.3, reflected).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t n);
