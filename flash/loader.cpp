#include "flash/loader.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/bytes.h"
#include "common/cp1251.h"
#include "common/error.h"
#include "common/files.h"
#include "common/paths.h"
#include "link/kline_port.h"

namespace {

constexpr std::uint8_t kAck = 0x55;
constexpr int kUploadBlocks = 8;

void WriteBytes(KLinePort& port, const std::uint8_t* data, int n) {
  MsgBlock block{};
  std::copy(data, data + n, block.begin());
  port.Write(block, static_cast<std::uint8_t>(n));
}

}  // namespace

std::optional<LoaderImage> ReadLoaderFile(FlashProgress& progress) {
  const std::string path = LoaderFilePath();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    // Where to put it depends on how the program was installed: name every place.
    std::string text = "Не найден файл Loader.dat\n\nФайл искали здесь:";
    for (const std::string& place : LoaderSearchPaths()) text += "\n" + place;
    progress.ShowError(text);
    return std::nullopt;
  }
  progress.BeginStage("Чтение файла загрузчика ...", kLoaderSize);
  // Refused before the port is opened: a short loader must never reach the ECU.
  const auto refuse = [&progress](const std::string& text) {
    progress.EndProgress();
    progress.ShowError(text);
    return std::nullopt;
  };
  int err = 0;
  const auto bytes = LoadFile(path, &err);
  if (!bytes) return refuse("Ошибка чтения файла загрузчика " + path + ": " + FileReadReason(err));
  if (bytes->size() < kLoaderSize)
    return refuse("Файл загрузчика " + path + " короче " + std::to_string(kLoaderSize) + " байт (в нём " +
                  std::to_string(bytes->size()) + ")");
  LoaderImage loader;
  std::copy_n(bytes->begin(), kLoaderSize, loader.begin());
  for (int i = 1; i <= kLoaderSize; ++i) progress.StepDone(i, kLoaderSize);
  return loader;
}

void SendByteExpectEcho(KLinePort& port, std::uint8_t b) {
  WriteBytes(port, &b, 1);
  std::uint8_t echo = 0;
  if (port.Read(&echo, 1) != 1 || echo != b) throw EcuError(kBadAnswer, "no echo of a single byte");
}

void SendByteExpectReply(KLinePort& port, std::uint8_t b, std::uint8_t r) {
  WriteBytes(port, &b, 1);
  // Waiting on the port, not in 5 ms sleeps, takes the answer the moment it
  // arrives.
  std::uint8_t answer[2] = {0, 0};
  if (port.ReadWithin(answer, 2, kAnswerMs) != 2)
    throw NoAnswerError(kBadAnswer, "no answer to a single byte");
  if (answer[0] != b || answer[1] != r) throw EcuError(kBadAnswer, "wrong answer to a single byte");
}

void SendLoaderBlock(KLinePort& port, std::optional<std::uint8_t> prefix, const std::uint8_t* data,
                     int count) {
  std::uint8_t block[64];
  int n = 0;
  if (prefix) block[n++] = *prefix;
  std::copy(data, data + count, block + n);
  n += count;
  std::uint8_t check = 0;
  for (int i = 0; i < n; ++i) check ^= block[i];
  block[n] = check;
  WriteBytes(port, block, n + 1);
  // The echo of the n + 1 block bytes, then the acknowledgement.
  std::uint8_t answer[66];
  if (port.ReadWithin(answer, n + 2, kBlockMs) != n + 2 || answer[n + 1] != kAck)
    throw EcuError(kBadAnswer, "loader block not acknowledged");
}

void UploadLoader(KLinePort& port, const LoaderImage& loader, FlashProgress& progress) {
  progress.BeginStage("Передача загрузчика ... ", kUploadBlocks);
  int sent = 0;
  const auto block = [&](std::optional<std::uint8_t> prefix, const std::uint8_t* data, int count) {
    SendLoaderBlock(port, prefix, data, count);
    progress.StepDone(++sent, kUploadBlocks);
  };
  SendByteExpectReply(port, 0x00, 0x55);
  block(std::nullopt, kOpeningBlock.data(), kOpeningBlock.size());
  for (int k = 0; k < 5; ++k) block(0x01, loader.data() + 60 * k, 60);
  std::uint8_t last[60];
  last[0] = 0x3B;  // the number of loader bytes that follow
  std::copy(loader.begin() + 300, loader.end(), last + 1);
  block(0x02, last, 60);
  block(std::nullopt, kClosingBlock.data(), kClosingBlock.size());
  SendByteExpectReply(port, 0x00, 0x01);
  port.Purge();
}

std::string ReadEcuId(KLinePort& port, FlashProgress& progress) {
  progress.BeginStage("Чтение идентификатора ... ", 1);
  WriteBytes(port, kIdRequest.data(), kIdRequest.size());
  std::uint8_t answer[12] = {};
  const int got = port.ReadWithin(answer, 12, kBlockMs);
  const std::string id = IdentifierText(answer + 4, std::max(0, got - 4));
  progress.StepDone(1, 1);
  port.Purge();
  return id;
}

std::string IdentifierText(const std::uint8_t* bytes, int count) {
  // Control bytes would break the caption (a 0x00 would even cut it short).
  std::string raw;
  for (int i = 0; i < count; ++i)
    raw += bytes[i] < 0x20 || bytes[i] == 0x7F ? '?' : static_cast<char>(bytes[i]);
  return Cp1251ToUtf8(raw);
}
