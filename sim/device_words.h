#pragma once
// The words that name the simulated devices' faults on the control channel,
// shared by the simulator, which reads them, and by test programs on any
// system, which write them. Plain declarations only: nothing here needs the
// simulator's library.

#include <stdexcept>
#include <string>
#include <utility>

#include "sim/boot_ecu.h"
#include "sim/control_text.h"
#include "sim/kwp_ecu.h"

namespace sim {

template <typename Enum>
using WordTable = std::pair<Enum, const char*>;

inline constexpr WordTable<KwpFaultKind> kKwpFaultWords[] = {{KwpFaultKind::NoReply, "no-reply"},
                                                             {KwpFaultKind::LateReply, "late-reply"},
                                                             {KwpFaultKind::CorruptEcho, "corrupt-echo"},
                                                             {KwpFaultKind::BadHeader, "bad-header"},
                                                             {KwpFaultKind::BadChecksum, "bad-checksum"},
                                                             {KwpFaultKind::ExtraBytes, "extra-bytes"},
                                                             {KwpFaultKind::NegativeReply, "negative-reply"},
                                                             {KwpFaultKind::RefuseSpeed, "refuse-speed"},
                                                             {KwpFaultKind::Vanish, "vanish"}};

inline constexpr WordTable<FaultWhen> kFaultWhenWords[] = {
    {FaultWhen::Once, "once"}, {FaultWhen::EveryN, "every"}, {FaultWhen::Random, "random"}};

inline constexpr WordTable<BootPoint> kBootPointWords[] = {
    {BootPoint::UploadStart, "upload-start"}, {BootPoint::UploadBlock, "upload-block"},
    {BootPoint::UploadEnd, "upload-end"},     {BootPoint::Identifier, "identifier"},
    {BootPoint::ReadBlock, "read-block"},     {BootPoint::Erase, "erase"},
    {BootPoint::WriteBlock, "write-block"}};

inline constexpr WordTable<BootFaultKind> kBootFaultWords[] = {
    {BootFaultKind::WrongAnswer, "wrong-answer"}, {BootFaultKind::NoAnswer, "no-answer"},
    {BootFaultKind::BadSum, "bad-sum"},           {BootFaultKind::StrayByte, "stray-byte"},
    {BootFaultKind::ShortAnswer, "short-answer"}, {BootFaultKind::Silent, "silent"},
    {BootFaultKind::StoreWrong, "store-wrong"}};

template <typename Enum, std::size_t N>
const char* WordOf(const WordTable<Enum> (&table)[N], Enum value) {
  for (const auto& [v, word] : table)
    if (v == value) return word;
  throw std::invalid_argument("no word for this value");
}

template <typename Enum, std::size_t N>
Enum ValueOf(const WordTable<Enum> (&table)[N], const std::string& word) {
  for (const auto& [v, w] : table)
    if (word == w) return v;
  std::string known;
  for (const auto& entry : table) known += std::string(known.empty() ? "" : ", ") + entry.second;
  throw std::invalid_argument("'" + word + "' is not one of " + known);
}

// "fault" words of a KWP fault: KIND WHEN N SERVICE CODE SEED, the service
// as a byte in hex or "any".
inline std::string KwpFaultWords(const KwpFault& f) {
  const std::string service = f.service < 0 ? "any" : ToHex({static_cast<std::uint8_t>(f.service)});
  return std::string(WordOf(kKwpFaultWords, f.kind)) + " " + WordOf(kFaultWhenWords, f.when) + " " +
         std::to_string(f.n) + " " + service + " " + ToHex({f.code}) + " " + std::to_string(f.seed);
}

// "fault" words of a boot fault: POINT INDEX KIND VALUE.
inline std::string BootFaultWords(const BootFault& f) {
  return std::string(WordOf(kBootPointWords, f.point)) + " " + std::to_string(f.index) + " " +
         WordOf(kBootFaultWords, f.kind) + " " + std::to_string(f.value);
}

}  // namespace sim
