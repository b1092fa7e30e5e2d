#pragma once
// The texts a firmware write ends with: where it failed, what that means for
// the ECU and the way back, the verification's findings and the success note.

#include <cstdint>
#include <string>

enum class WriteStage { Upload, Backup, Erase, Blocks, Verify };

// Where a write stopped.
struct WriteFailure {
  WriteStage stage = WriteStage::Upload;
  int block = 0;                // Blocks: the block that failed, from 0
  bool noAnswer = false;        // the loader answered nothing
  bool eraseAfterRead = false;  // Erase: the first erase, right after the backup read
};

// What the progress panel says after a failure, e.g. "Сбой: запись блока 301 из 512".
std::string FailedStageCaption(const WriteFailure& where);

// The error box of a write that stopped: the error's own text first, then
// what the failure means for the ECU and what to do. backup is empty when
// none was made.
std::string WriteFailureText(const std::string& error, const WriteFailure& where, const std::string& file,
                             const std::string& backup);

// The read-back after the write could not be done.
std::string VerifyNotRunText(const std::string& error, std::uint32_t fileCrc);

// The read-back differs from the file first at image address `address`.
std::string VerifyMismatchText(int address, std::uint8_t inFile, std::uint8_t inEcu, const std::string& file,
                               const std::string& backup);

// The image read before the write was not a complete firmware and no earlier
// backup of this ECU is: there is no way back to its old firmware.
std::string NoCompleteBackupText(const std::string& incomplete);

// A write that was read back equal to the file.
std::string WriteSuccessText(const std::string& file, std::uint32_t fileCrc, const std::string& backup);
