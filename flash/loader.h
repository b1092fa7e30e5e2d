#pragma once
// The programming protocol below the firmware commands: the loader image from
// Loader.dat, the byte exchanges of the ECU's boot protocol, the loader upload
// and the identifier read. User-interface thread only; every failure raises
// EcuError and nothing here catches.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "common/error.h"
#include "flash/progress.h"

class KLinePort;

inline constexpr int kLoaderSize = 359;

// The first 359 bytes of Loader.dat, read anew by every firmware command.
using LoaderImage = std::array<std::uint8_t, kLoaderSize>;

// Control blocks of the upload (their XOR check byte is added when sent).
inline constexpr std::array<std::uint8_t, 7> kOpeningBlock{0x00, 0x00, 0xF4, 0x00, 0x00, 0x00, 0x3E};
inline constexpr std::array<std::uint8_t, 7> kClosingBlock{0x00, 0x01, 0xF4, 0x04, 0x00, 0x00, 0x00};
inline constexpr std::array<std::uint8_t, 4> kIdRequest{0x11, 0x20, 0x60, 0x08};

// The message of every wrong, short or missing answer.
inline constexpr const char* kBadAnswer = " Неверный ответ ЭБУ    ";

// How long an answer of the boot code or the loader may take (erase, write
// acknowledgement): 2000 polls of 5 ms, then the answer's own read second.
inline constexpr int kAnswerMs = 2000 * 5 + 1000;
// A deadline for a whole block of known length with its echo (an upload
// block, the identifier, a write block's echo), not for the gaps inside it:
// a USB adapter on a busy laptop may hold bytes back for tens of
// milliseconds. On the wire the longest such block takes 37 ms.
inline constexpr int kBlockMs = 1000;

// An exchange that got no answer at all, at most the echo: the other side is
// not listening, rather than answering something else.
class NoAnswerError : public EcuError {
 public:
  using EcuError::EcuError;
};

// The loader from Loader.dat. Nothing (with the message already shown and the
// progress ended) when the file is missing, unreadable or shorter than 359
// bytes; nothing has been sent then.
std::optional<LoaderImage> ReadLoaderFile(FlashProgress& progress);
// Sends b and expects its echo.
void SendByteExpectEcho(KLinePort& port, std::uint8_t b);
// Sends b and expects its echo followed by the answer r (waits up to
// kAnswerMs). NoAnswerError when the answer did not come.
void SendByteExpectReply(KLinePort& port, std::uint8_t b, std::uint8_t r);
// Sends [prefix] data[0..count-1] and their XOR, expects the echo and 0x55.
void SendLoaderBlock(KLinePort& port, std::optional<std::uint8_t> prefix, const std::uint8_t* data,
                     int count);
// The whole upload of loader through the boot protocol.
void UploadLoader(KLinePort& port, const LoaderImage& loader, FlashProgress& progress);
// The ECU's 8-character identifier; characters that did not arrive are left out.
std::string ReadEcuId(KLinePort& port, FlashProgress& progress);
// The identifier bytes as text: one Windows-1251 character per byte, '?' for
// control bytes so the caption stays readable.
std::string IdentifierText(const std::uint8_t* bytes, int count);
