#pragma once
// The ECU's boot code and the loader it runs, as the firmware programmer sees
// them on the K-line at 38400 baud with two stop bits: the loader upload with
// its acknowledgements, the identifier, read blocks with their check byte,
// erase, and write blocks with their acknowledgement, over a 64 KiB flash
// image. Fault switches make it answer wrongly or not at all at a chosen point.
//
// Threads: the SimDevice calls run on the line's thread; every other public
// method may be called from any thread (one mutex guards the state).

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace sim {

// Where a fault strikes. `index` counts from 0: the upload block (0 = the
// opening block, 1..5 the 0x01 blocks, 6 the 0x02 block, 7 the closing block),
// the read or write block number since the last 0x0A, or the erase or
// identifier request since the device was made.
enum class BootPoint { UploadStart, UploadBlock, UploadEnd, Identifier, ReadBlock, Erase, WriteBlock };

enum class BootFaultKind {
  WrongAnswer,  // the answer byte is `value` (upload, erase, write acknowledgement)
  NoAnswer,     // nothing is answered at this point
  BadSum,       // read block: the check byte is off by one
  StrayByte,    // read block: the byte `value` comes first, before the block's echo
  ShortAnswer,  // identifier: only `value` characters are sent
  Silent,       // the device answers nothing from here on (until 2 s of quiet)
  StoreWrong,   // write block: acknowledged, but its byte `value` (0..127) is stored inverted
};

struct BootFault {
  BootPoint point;
  int index = 0;
  BootFaultKind kind = BootFaultKind::WrongAnswer;
  std::uint8_t value = 0;
};

class BootEcu : public SimDevice {
 public:
  static constexpr int kImageSize = 65536;
  static constexpr int kLoaderSize = 359;

  BootEcu();

  LineSettings Settings() const override { return {38400, 2}; }
  void OnByte(std::uint8_t b, const LineSettings& program) override;
  void OnTick() override;

  // The identifier answered to 11 20 60 08 (padded with blanks or cut to 8).
  void SetIdentifier(const std::string& id);
  // Real milliseconds before the erase answer and before each write acknowledgement.
  void SetEraseMs(double ms);
  void SetProgramMs(double ms);
  // The adapter holds its output back for ms in the middle of every
  // `everyBlocks`-th write block's echo (block 0 first); 0 ms: no gaps.
  void SetEchoGap(double ms, int everyBlocks = 1);
  // The loader answers no read request (0x12) once it has accepted a write
  // block, until the next upload.
  void SetNoReadAfterWrite(bool on);
  void AddFault(const BootFault& fault);
  void ClearFaults();
  // Back to the boot code's first state (as after an ECU reset).
  void Reset();

  std::array<std::uint8_t, kImageSize> Image() const;
  void SetImage(const std::array<std::uint8_t, kImageSize>& image);
  // Preloads the image from a file of exactly 65536 bytes; false otherwise.
  bool LoadImage(const std::string& path);
  // Writes the image to a file; false on failure.
  bool SaveImage(const std::string& path) const;
  // When set, the image is saved there after every complete write (512 blocks).
  void SetImageFile(const std::string& path);

  // What the device saw, for tests.
  std::vector<std::uint8_t> Received() const;
  std::vector<std::uint8_t> UploadedLoader() const;  // the 359 loader bytes of the last upload
  bool LoaderRunning() const;
  int EraseCount() const;
  int WriteBlocksAccepted() const;
  int ReadBlocksSent() const;

 private:
  enum class State { BootIdle, BootBlock, BootStart, Loader, IdParams, WriteData, Silent };

  void Handle(std::uint8_t b);
  void StartUpload();
  void FinishUploadBlock();
  void LoaderCommand(std::uint8_t b);
  void SendReadBlock();
  void FinishWriteBlock();
  // The fault set for this point, or nullptr.
  const BootFault* FaultAt(BootPoint point, int index) const;
  // Sends the answer byte `normal` unless a fault changes or drops it.
  // Returns false when the device went silent.
  bool Answer(BootPoint point, int index, std::uint8_t normal, double gapMs = 0);
  bool GoSilentAt(BootPoint point, int index);

  mutable std::mutex mutex_;
  State state_ = State::BootIdle;
  std::vector<BootFault> faults_;
  std::string id_ = "SIMECU01";
  double eraseMs_ = 100;
  double programMs_ = 0;
  double echoGapMs_ = 0;
  int echoGapEvery_ = 1;
  bool noReadAfterWrite_ = false;
  bool wroteSinceUpload_ = false;
  std::string imageFile_;
  std::array<std::uint8_t, kImageSize> image_{};

  std::vector<std::uint8_t> block_;  // the upload or write block being received
  int uploadBlock_ = 0;              // index of the upload block being received
  std::vector<std::uint8_t> loaderBytes_, uploaded_;
  int idParams_ = 0;
  int readBlock_ = 0, writeBlock_ = 0;
  int eraseCount_ = 0, idCount_ = 0;
  int writeAccepted_ = 0, readSent_ = 0;
  double lastByteTime_ = -1;  // seconds, monotonic
  std::vector<std::uint8_t> received_;
};

}  // namespace sim
