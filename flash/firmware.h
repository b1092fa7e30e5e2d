#pragma once
// The firmware transfer that follows the loader upload: read, erase and write
// of the 64 KiB image, and the image files. User-interface thread only; every
// failure raises EcuError, caught only by FlashRead and FlashWrite.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "flash/progress.h"

class KLinePort;

inline constexpr int kFirmwareSize = 65536;
inline constexpr int kReadBlockSize = 256;
inline constexpr int kWriteBlockSize = 128;
inline constexpr int kWriteBlocks = kFirmwareSize / kWriteBlockSize;

using FirmwareBuffer = std::array<std::uint8_t, kFirmwareSize>;

// Reads the 256 blocks into `into`, each checked by its check byte.
void ReadFirmware(KLinePort& port, FirmwareBuffer& into, FlashProgress& progress);
// Writes image into the file name, replacing it whole.
void SaveFirmwareFile(const FirmwareBuffer& image, const std::string& name);
// The erase exchange: 10 -> 00.
void EraseFlash(KLinePort& port, FlashProgress& progress);

// How far WriteFirmware got, for telling the user where a failure struck.
struct WriteProgress {
  bool erased = false;  // its erase was answered
  int blocksAcknowledged = 0;
};
// A second erase, then the 512 blocks of image.
void WriteFirmware(KLinePort& port, const FirmwareBuffer& image, FlashProgress& progress,
                   WriteProgress& done);
// Loads the file name into `into`. False when refused, with the message
// shown: a file that is not exactly 65536 bytes or cannot be read.
bool OpenFirmwareFile(const std::string& name, FirmwareBuffer& into, FlashProgress& progress);

// CRC-32 as zip and most flashing tools print it (IEEE 802.3, reflected).
std::uint32_t Crc32(const std::uint8_t* data, std::size_t n);
