#include "sim/bench.h"

#include <algorithm>
#include <stdexcept>

#include "sim/device_words.h"

namespace sim {

namespace {

void NeedWords(const std::vector<std::string>& args, std::size_t least, std::size_t most) {
  if (args.size() < least || args.size() > most) throw std::invalid_argument("wrong number of words");
}

std::uint8_t ParseByte(const std::string& word) {
  const std::vector<std::uint8_t> b = ParseHex(word);
  if (b.size() != 1) throw std::invalid_argument("'" + word + "' is not one byte in hex");
  return b[0];
}

double ParseMs(const std::string& word) { return ParseNumber(word, 0, 600000); }

template <std::size_t N>
std::array<std::uint8_t, N> ParseHexArray(const std::string& word) {
  const std::vector<std::uint8_t> bytes = ParseHex(word);
  if (bytes.size() != N) throw std::invalid_argument("not " + std::to_string(N) + " bytes");
  std::array<std::uint8_t, N> out;
  std::copy(bytes.begin(), bytes.end(), out.begin());
  return out;
}

// kwp LINE WHAT ...
std::string KwpCommand(KwpEcu& ecu, const std::string& what, const std::vector<std::string>& a) {
  if (what == "fault") {
    NeedWords(a, 3, 6);
    KwpFault f;
    f.kind = ValueOf(kKwpFaultWords, a[0]);
    f.when = ValueOf(kFaultWhenWords, a[1]);
    f.n = ParseWhole(a[2], 1, 1000000);
    if (a.size() > 3 && a[3] != "any") f.service = ParseByte(a[3]);
    if (a.size() > 4) f.code = ParseByte(a[4]);
    if (a.size() > 5) f.seed = static_cast<std::uint32_t>(ParseNumber(a[5], 0, 4294967295.0));
    ecu.AddFault(f);
  } else if (what == "late-ms") {
    NeedWords(a, 1, 1);
    ecu.SetLateMs(ParseMs(a[0]));
  } else if (what == "latency-ms") {
    NeedWords(a, 1, 1);
    ecu.SetLatencyMs(ParseMs(a[0]));
  } else if (what == "packet-ms") {
    NeedWords(a, 1, 1);
    ecu.SetPacketIntervalMs(ParseNumber(a[0], 1, 60000));
  } else if (what == "refuse-speed") {
    NeedWords(a, 1, 1);
    ecu.RefuseSpeedByte(ParseByte(a[0]));
  } else if (what == "record") {
    NeedWords(a, 1, 1);
    const auto record = ParseHexArray<95>(a[0]);
    ecu.SetRecordSource([record] { return record; });
  } else if (what == "stop-stream") {
    NeedWords(a, 0, 0);
    ecu.StopStream();
  } else if (what == "requests") {
    // Each request as HEX@BAUD, the device's speed when it arrived.
    NeedWords(a, 0, 0);
    std::string out;
    for (const KwpEcu::Request& r : ecu.Requests())
      out += (out.empty() ? "" : " ") + ToHex(r.bytes) + "@" + std::to_string(r.baud);
    return out;
  } else if (what == "state") {
    NeedWords(a, 0, 0);
    return "streaming " + std::to_string(ecu.Streaming() ? 1 : 0) + " packets " +
           std::to_string(ecu.PacketsSent()) + " correction " + std::to_string(ecu.CorrectionTimes2()) +
           " raw " + (ecu.RawCommands().empty() ? "-" : ToHex(ecu.RawCommands()));
  } else {
    throw std::invalid_argument("no kwp knob '" + what + "'");
  }
  return {};
}

// boot LINE WHAT ...
std::string BootCommand(BootEcu& boot, const std::string& what, const std::vector<std::string>& a) {
  if (what == "fault") {
    NeedWords(a, 3, 4);
    BootFault f{ValueOf(kBootPointWords, a[0]), ParseWhole(a[1], 0, 1000000), ValueOf(kBootFaultWords, a[2]),
                static_cast<std::uint8_t>(a.size() > 3 ? ParseWhole(a[3], 0, 255) : 0)};
    boot.AddFault(f);
  } else if (what == "id") {
    NeedWords(a, 1, 1);
    boot.SetIdentifier(a[0]);
  } else if (what == "erase-ms") {
    NeedWords(a, 1, 1);
    boot.SetEraseMs(ParseMs(a[0]));
  } else if (what == "program-ms") {
    NeedWords(a, 1, 1);
    boot.SetProgramMs(ParseMs(a[0]));
  } else if (what == "echo-gap") {
    NeedWords(a, 2, 2);
    boot.SetEchoGap(ParseMs(a[0]), ParseWhole(a[1], 1, 512));
  } else if (what == "no-read-after-write") {
    NeedWords(a, 1, 1);
    boot.SetNoReadAfterWrite(ParseOnOff(a[0]));
  } else if (what == "image") {
    // With HEX the flash is set, without it read.
    NeedWords(a, 0, 1);
    if (a.empty()) {
      const auto image = boot.Image();
      return ToHex({image.begin(), image.end()});
    }
    boot.SetImage(ParseHexArray<BootEcu::kImageSize>(a[0]));
  } else if (what == "received") {
    NeedWords(a, 0, 0);
    return ToHex(boot.Received());
  } else if (what == "loader") {
    NeedWords(a, 0, 0);
    return ToHex(boot.UploadedLoader());
  } else if (what == "state") {
    NeedWords(a, 0, 0);
    return "loader " + std::to_string(boot.LoaderRunning() ? 1 : 0) + " erases " +
           std::to_string(boot.EraseCount()) + " written " + std::to_string(boot.WriteBlocksAccepted()) +
           " read " + std::to_string(boot.ReadBlocksSent());
  } else {
    throw std::invalid_argument("no boot knob '" + what + "'");
  }
  return {};
}

// lc1 LINE WHAT ...
std::string Lc1Command(Lc1Device& lc1, const std::string& what, const std::vector<std::string>& a) {
  if (what == "sent") {
    NeedWords(a, 0, 0);
    return std::to_string(lc1.PacketsSent());
  }
  if (what == "header") {
    NeedWords(a, 2, 2);
    lc1.SetHeaderBytes(ParseByte(a[0]), ParseByte(a[1]));
    return {};
  }
  NeedWords(a, 1, 1);
  if (what == "afr")
    lc1.SetMixture(std::make_shared<ConstantMixture>(ParseNumber(a[0], 0, 100)));
  else if (what == "period-ms")
    lc1.SetPeriodMs(ParseNumber(a[0], 1, 60000));
  else if (what == "function")
    lc1.SetFunctionCode(ParseWhole(a[0], 0, 7));
  else if (what == "garbage")
    lc1.SetGarbageBytes(ParseWhole(a[0], 0, 1000));
  else if (what == "header-pause-ms")
    lc1.SetHeaderPauseMs(ParseMs(a[0]));
  else if (what == "trailing")
    lc1.SetTrailingBytes(a[0] == "-" ? std::vector<std::uint8_t>{} : ParseHex(a[0]));
  else if (what == "packets")
    lc1.SetPacketsOn(ParseOnOff(a[0]));
  else if (what == "silent")
    lc1.SetSilent(ParseOnOff(a[0]));
  else
    throw std::invalid_argument("no lc1 knob '" + what + "'");
  return {};
}

}  // namespace

Bench::Bench(std::string dir, bool anyRate) : dir_(std::move(dir)), anyRate_(anyRate) {}

void Bench::Adopt(const std::string& name, SimLine* line, BenchDevices devices) {
  lines_[name] = Entry{nullptr, line, std::move(devices)};
}

void Bench::Make(const std::string& name, const std::string& kind) {
  auto it = lines_.find(name);
  if (it != lines_.end() && !it->second.owned)
    throw std::invalid_argument("line '" + name + "' is not the bench's own");
  if (name.empty() || name.find_first_of("/\\.") != std::string::npos)
    throw std::invalid_argument("'" + name + "' is not a line name");
  SimLineOptions o;
  o.timeScale = 0;
  o.anyRate = anyRate_;
  BenchDevices d;
  std::shared_ptr<SimDevice> device;
  if (kind == "puppet") {
    d.puppet = std::make_shared<PuppetDevice>();
    device = d.puppet;
    o.anyRate = true;
  } else if (kind == "kwp") {
    d.kwp = std::make_shared<KwpEcu>();
    device = std::make_shared<SimEcuSwitch>(d.kwp, nullptr);
    o.absorbWakeByte = true;
  } else if (kind == "boot") {
    d.boot = std::make_shared<BootEcu>();
    device = std::make_shared<SimEcuSwitch>(nullptr, d.boot);
  } else if (kind == "lc1") {
    d.lc1 = std::make_shared<Lc1Device>();
    device = d.lc1;
    o.echo = false;  // no K-line adapter on the LC-1's lead
  } else if (kind != "none") {
    throw std::invalid_argument("no device kind '" + kind + "' (puppet, kwp, boot, lc1, none)");
  }
  // The old line goes first: the new one takes over its path.
  if (it != lines_.end()) lines_.erase(it);
  if (!device) return;
  auto line = std::make_unique<SimLine>(dir_ + "/" + name, device, o);
  SimLine* raw = line.get();
  lines_[name] = Entry{std::move(line), raw, std::move(d)};
}

SimLine* Bench::Line(const std::string& name) const {
  auto it = lines_.find(name);
  return it == lines_.end() ? nullptr : it->second.line;
}

const BenchDevices* Bench::Devices(const std::string& name) const {
  auto it = lines_.find(name);
  return it == lines_.end() ? nullptr : &it->second.devices;
}

const Bench::Entry& Bench::Find(const std::string& name) const {
  auto it = lines_.find(name);
  if (it == lines_.end()) throw std::invalid_argument("no line '" + name + "'");
  return it->second;
}

const Bench::Entry& Bench::LineOf(const std::vector<std::string>& args, std::size_t least,
                                  std::size_t most) const {
  NeedWords(args, least + 1, most + 1);
  return Find(args[0]);
}

PuppetDevice& Bench::PuppetOf(const std::vector<std::string>& args, std::size_t least,
                              std::size_t most) const {
  const Entry& e = LineOf(args, least, most);
  if (!e.devices.puppet) throw std::invalid_argument("line '" + args[0] + "' is not scripted");
  return *e.devices.puppet;
}

void Bench::AddCommands(CommandSet& commands) {
  commands.On("device", "device LINE puppet|kwp|boot|lc1|none (the line made anew)",
              [this](const auto& args) {
                NeedWords(args, 2, 2);
                Make(args[0], args[1]);
                return std::string();
              });
  AddLineCommands(commands);
  AddPuppetCommands(commands);
  AddDeviceCommands(commands);
}

void Bench::AddLineCommands(CommandSet& commands) {
  commands.On("echo", "echo LINE on|off", [this](const auto& args) {
    LineOf(args, 1, 1).line->SetEcho(ParseOnOff(args[1]));
    return std::string();
  });
  commands.On("absorb-wake", "absorb-wake LINE on|off", [this](const auto& args) {
    LineOf(args, 1, 1).line->SetAbsorbWakeByte(ParseOnOff(args[1]));
    return std::string();
  });
  commands.On("settings", "settings LINE", [this](const auto& args) {
    const SimLine::ProgramView v = LineOf(args, 0, 0).line->ProgramSettings();
    return "baud " + std::to_string(v.baud) + " data " + std::to_string(v.dataBits) + " parity " +
           std::to_string(v.parity ? 1 : 0) + " stop " + std::to_string(v.stopBits) + " raw " +
           std::to_string(v.raw ? 1 : 0);
  });
  commands.On("bytes", "bytes LINE (from the program, to it, garbled)", [this](const auto& args) {
    const SimLine& l = *LineOf(args, 0, 0).line;
    return "from " + std::to_string(l.BytesFromProgram()) + " to " + std::to_string(l.BytesToProgram()) +
           " garbled " + std::to_string(l.GarbledBytes());
  });
  commands.On("time-scale", "time-scale LINE X (wire time factor: 0 none, 1 real)", [this](const auto& args) {
    LineOf(args, 1, 1).line->SetTimeScale(ParseNumber(args[1], 0, 1e6));
    return std::string();
  });
  commands.On("hangup", "hangup LINE (until the line is made anew)", [this](const auto& args) {
    LineOf(args, 0, 0).line->Hangup();
    return std::string();
  });
}

void Bench::AddPuppetCommands(CommandSet& commands) {
  commands.On("send", "send LINE HEX [GAP_MS]", [this](const auto& args) {
    PuppetDevice& p = PuppetOf(args, 1, 2);
    p.SendLater(ParseHex(args[1]), args.size() == 3 ? ParseNumber(args[2], 0, 60000) : 0);
    return std::string();
  });
  commands.On("received", "received LINE",
              [this](const auto& args) { return ToHex(PuppetOf(args, 0, 0).Received()); });
  commands.On("reset", "reset LINE (echo on, wake-up byte passed on, nothing received)",
              [this](const auto& args) {
                PuppetDevice& p = PuppetOf(args, 0, 0);
                LineOf(args, 0, 0).line->SetEcho(true);
                LineOf(args, 0, 0).line->SetAbsorbWakeByte(false);
                p.ClearReceived();
                return std::string();
              });
}

void Bench::AddDeviceCommands(CommandSet& commands) {
  // kwp|boot|lc1 LINE WHAT [WORDS...]
  auto device = [this](const std::vector<std::string>& args, auto member, const char* kind) -> auto& {
    NeedWords(args, 2, 64);
    const auto& ptr = LineOf(args, 1, 63).devices.*member;
    if (!ptr) throw std::invalid_argument("line '" + args[0] + "' has no " + kind);
    return *ptr;
  };
  auto rest = [](const std::vector<std::string>& args) {
    return std::vector<std::string>(args.begin() + 2, args.end());
  };
  commands.On(
      "kwp",
      "kwp LINE fault KIND once|every|random N [SERVICE|any [CODE [SEED]]] | late-ms MS | latency-ms MS | "
      "packet-ms MS | refuse-speed BYTE | record HEX95 | stop-stream | requests | state",
      [device, rest](const auto& args) {
        return KwpCommand(device(args, &BenchDevices::kwp, "KWP ECU"), args[1], rest(args));
      });
  commands.On("boot",
              "boot LINE fault POINT INDEX KIND [VALUE] | id TEXT | erase-ms MS | program-ms MS | echo-gap "
              "MS EVERY | "
              "no-read-after-write on|off | image [HEX65536] | received | loader | state",
              [device, rest](const auto& args) {
                return BootCommand(device(args, &BenchDevices::boot, "boot code"), args[1], rest(args));
              });
  commands.On(
      "lc1",
      "lc1 LINE afr X | period-ms MS | function F | garbage N | header-pause-ms MS | trailing HEX|- | "
      "packets on|off | header H0 H1 | silent on|off | sent",
      [device, rest](const auto& args) {
        return Lc1Command(device(args, &BenchDevices::lc1, "LC-1"), args[1], rest(args));
      });
}

}  // namespace sim
