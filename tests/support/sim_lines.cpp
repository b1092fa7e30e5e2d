#include "tests/support/sim_lines.h"

#include <iomanip>
#include <sstream>
#include <stdexcept>

#include "sim/device_words.h"

namespace {

std::string Words(const std::vector<std::uint8_t>& bytes) { return bytes.empty() ? "-" : sim::ToHex(bytes); }

std::string Number(double v) {
  std::ostringstream out;
  out << std::setprecision(17) << v;
  return out.str();
}

std::string OnOff(bool on) { return on ? "on" : "off"; }

// The word after `key` in "key value key value ..." text.
std::string ValueAfter(const std::string& text, const std::string& key) {
  std::istringstream in(text);
  for (std::string k, v; in >> k >> v;)
    if (k == key) return v;
  throw std::runtime_error("no '" + key + "' in '" + text + "'");
}

}  // namespace

// --- SimTestLine ---

SimTestLine::SimTestLine(std::string name, const std::string& kind) : name_(std::move(name)) {
  SimCommand("device " + name_ + " " + kind);
  port_ = SimPortOf(name_);
}

SimTestLine::~SimTestLine() {
  try {
    SimCommand("device " + name_ + " none");
  } catch (const std::exception&) {
    // The simulator has gone; the test has failed already.
  }
}

std::string SimTestLine::Do(const std::string& verb, const std::string& words) const {
  return SimCommand(verb + " " + name_ + (words.empty() ? "" : " " + words));
}

LineView SimTestLine::ProgramSettings() const {
  const std::string text = Do("settings");
  LineView v;
  v.baud = static_cast<std::uint32_t>(std::stoul(ValueAfter(text, "baud")));
  v.dataBits = std::stoi(ValueAfter(text, "data"));
  v.parity = ValueAfter(text, "parity") != "0";
  v.stopBits = std::stoi(ValueAfter(text, "stop"));
  v.raw = ValueAfter(text, "raw") != "0";
  return v;
}

void SimTestLine::SetEcho(bool on) const { Do("echo", OnOff(on)); }
void SimTestLine::SetAbsorbWakeByte(bool on) const { Do("absorb-wake", OnOff(on)); }
void SimTestLine::SetTimeScale(double scale) const { Do("time-scale", Number(scale)); }
void SimTestLine::Hangup() const { Do("hangup"); }
std::uint64_t SimTestLine::BytesFromProgram() const { return std::stoull(ValueAfter(Do("bytes"), "from")); }

// --- KwpLine ---

void KwpLine::AddFault(const sim::KwpFault& fault) const { Do("kwp", "fault " + sim::KwpFaultWords(fault)); }
void KwpLine::SetLateMs(double ms) const { Do("kwp", "late-ms " + Number(ms)); }
void KwpLine::SetLatencyMs(double ms) const { Do("kwp", "latency-ms " + Number(ms)); }
void KwpLine::RefuseSpeedByte(std::uint8_t speedByte) const {
  Do("kwp", "refuse-speed " + sim::ToHex({speedByte}));
}
void KwpLine::SetRecord(const std::array<std::uint8_t, 95>& record) const {
  Do("kwp", "record " + sim::ToHex({record.begin(), record.end()}));
}
void KwpLine::StopStream() const { Do("kwp", "stop-stream"); }

std::vector<sim::KwpEcu::Request> KwpLine::Requests() const {
  std::istringstream in(Do("kwp", "requests"));
  std::vector<sim::KwpEcu::Request> out;
  for (std::string word; in >> word;) {
    const auto at = word.find('@');
    out.push_back(
        {sim::ParseHex(word.substr(0, at)), static_cast<std::uint32_t>(std::stoul(word.substr(at + 1)))});
  }
  return out;
}

std::string KwpLine::State(const std::string& key) const { return ValueAfter(Do("kwp", "state"), key); }
std::vector<std::uint8_t> KwpLine::RawCommands() const {
  const std::string raw = State("raw");
  return raw == "-" ? std::vector<std::uint8_t>{} : sim::ParseHex(raw);
}
bool KwpLine::Streaming() const { return State("streaming") != "0"; }
int KwpLine::PacketsSent() const { return std::stoi(State("packets")); }
int KwpLine::CorrectionTimes2() const { return std::stoi(State("correction")); }

// --- BootLine ---

void BootLine::AddFault(const sim::BootFault& fault) const {
  Do("boot", "fault " + sim::BootFaultWords(fault));
}
void BootLine::SetIdentifier(const std::string& id) const { Do("boot", "id " + id); }
void BootLine::SetEraseMs(double ms) const { Do("boot", "erase-ms " + Number(ms)); }
void BootLine::SetEchoGap(double ms, int everyBlocks) const {
  Do("boot", "echo-gap " + Number(ms) + " " + std::to_string(everyBlocks));
}
void BootLine::SetNoReadAfterWrite(bool on) const { Do("boot", "no-read-after-write " + OnOff(on)); }

BootLine::FlashImage BootLine::Image() const {
  const std::vector<std::uint8_t> bytes = sim::ParseHex(Do("boot", "image"));
  FlashImage image{};
  if (bytes.size() != image.size()) throw std::runtime_error("the simulator's flash image is not 64 KiB");
  std::copy(bytes.begin(), bytes.end(), image.begin());
  return image;
}
void BootLine::SetImage(const FlashImage& image) const {
  Do("boot", "image " + sim::ToHex({image.begin(), image.end()}));
}
std::vector<std::uint8_t> BootLine::Received() const { return sim::ParseHex(Do("boot", "received")); }
std::vector<std::uint8_t> BootLine::UploadedLoader() const { return sim::ParseHex(Do("boot", "loader")); }
int BootLine::State(const std::string& key) const { return std::stoi(ValueAfter(Do("boot", "state"), key)); }
int BootLine::EraseCount() const { return State("erases"); }
int BootLine::WriteBlocksAccepted() const { return State("written"); }
int BootLine::ReadBlocksSent() const { return State("read"); }

// --- Lc1Line ---

void Lc1Line::SetAfr(double afr) const { Do("lc1", "afr " + Number(afr)); }
void Lc1Line::SetPeriodMs(double ms) const { Do("lc1", "period-ms " + Number(ms)); }
void Lc1Line::SetFunctionCode(int f) const { Do("lc1", "function " + std::to_string(f)); }
void Lc1Line::SetGarbageBytes(int n) const { Do("lc1", "garbage " + std::to_string(n)); }
void Lc1Line::SetHeaderPauseMs(double ms) const { Do("lc1", "header-pause-ms " + Number(ms)); }
void Lc1Line::SetTrailingBytes(const std::vector<std::uint8_t>& bytes) const {
  Do("lc1", "trailing " + Words(bytes));
}
void Lc1Line::SetPacketsOn(bool on) const { Do("lc1", "packets " + OnOff(on)); }
void Lc1Line::SetHeaderBytes(std::uint8_t h0, std::uint8_t h1) const {
  Do("lc1", "header " + sim::ToHex({h0}) + " " + sim::ToHex({h1}));
}
void Lc1Line::SetSilent(bool on) const { Do("lc1", "silent " + OnOff(on)); }
std::uint64_t Lc1Line::PacketsSent() const { return std::stoull(Do("lc1", "sent")); }
