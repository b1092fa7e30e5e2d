// ecusim: the K-line adapter with the ECU, and the LC-1 controller, on
// pseudo-terminals, so the program can run without a car.
#include <getopt.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/bench.h"
#include "sim/boot_ecu.h"
#include "sim/control.h"
#include "sim/engine.h"
#include "sim/kwp_ecu.h"
#include "sim/lc1.h"
#include "sim/sim.h"

namespace {

constexpr const char* kUsage = R"(Usage: ecusim [options]

Runs the devices the program talks to on pseudo-terminals and keeps them
until Ctrl-C, SIGTERM or the end of the parent process.

Ports (symbolic links in the folder given by --dir; put their full paths into
cfg.ini, [Ecu] Port= and [Lambda] Port=):
  <dir>/kline   the K-line adapter: echoes every byte, absorbs the wake-up
                byte 0x01. Behind it the ECU: diagnostic KWP protocol at
                10400 baud 8N1 (then 38400 or 57600 after the session start;
                5 s without a request end the session, back to 10400),
                boot and loader protocol at 38400 baud 8N2.
  <dir>/lc1     the LC-1 wideband lambda controller, 19200 baud 8N1.

Options:
  -d, --dir DIR         folder for the port links (default: current folder)
  -t, --time-scale X    wire time factor: 1 = real time (default), 0 = no
                        wire delay, 0.1 = ten times faster than the wire
      --no-echo         the adapter does not echo (for TCfg.Echo = 0)
      --silent-ecu      the ECU does not answer (adapter echo only)
      --no-lc1          do not create the LC-1 port
      --flash-image F   the ECU's 64 KiB flash: loaded from F when it exists
                        (exactly 65536 bytes), saved to F after every
                        complete firmware write (default: erased, not kept)
      --ecu-id TEXT     the 8-character identifier the loader answers
                        (default SIMECU01)
      --corrupt-block N[:B]  the loader acknowledges write block N (0..511)
                        but stores its byte B (0..127, default 0) inverted,
                        so only a read-back can find it
      --no-read-after-write  the loader answers no read request once it has
                        written a block (until the next loader upload)
      --echo-gap MS[:K] the adapter holds its output back for MS ms in the
                        middle of every K-th write block (default K = 1), as
                        a USB adapter on a busy laptop may

The engine (one model behind the ECU and the LC-1; it idles near 850 rpm once
warm and runs on in the packet stream of the unidirectional mode too):
      --seed N          seed of the engine model's random events and noise
                        (default 1): the same seed gives the same engine
      --run-ups RATE    random full-throttle run-ups from idle to the rev
                        limit (through 2000..7500 rpm in about 4 s, then back
                        to idle in about 3 s), per minute of idling (default
                        6: one every 15 to 20 s on average; 0 = none)
      --blips RATE      random short throttle blips to about 2000 rpm, per
                        minute of idling (default 1; 0 = none). A blip above
                        the window's "Порог оборотов" opens a table column too.

The packet stream of the unidirectional mode (after 70 72):
      --stream-noise[=N]  1..N noise bytes (default N = 3) halfway between
                        packets; each has bit 0 clear, so it never forms a
                        sync pair
      --stream-split[=K]  each packet leaves in two parts: the first K of
                        the 9 bytes of sync and packet (default K = 5), then
                        the rest 5 ms later

For test programs that cannot signal this process (under Wine):
      --control PORT    take commands on TCP 127.0.0.1:PORT (0 = any free
                        port; the port is printed): "help" lists them. They
                        work every switch below, and the options --no-echo,
                        --silent-ecu, --time-scale, --stream-noise and
                        --stream-split, while running (per line where
                        they concern one), and the devices' own knobs
                        and fault switches (kwp kline, boot kline, lc1 lc1)
      --any-rate        the K-line and LC-1 lines take the program's bytes
                        whatever baud rate it set (Wine cannot set 10400 on a
                        pseudo-terminal)
      --script-lines N  N more lines, <dir>/line1..lineN, with a device that
                        only records and sends what the control channel says
                        (echo on, any rate, no wire delay); "device LINE KIND"
                        makes one anew with a fresh KWP ECU, boot code or
                        LC-1 behind it, for the tests
  -h, --help            this text

The firmware commands need a Loader.dat. The simulator's stand-in (359 bytes
of text that say they are not a loader for any real ECU; the simulated boot
code takes any 359 bytes) is sim/Loader.dat in the source tree and
share/ecusim/Loader.dat in an installation (/usr/share/ecusim/ from the
package). Never put it beside varnek-test or into ~/.local/share/varnek-test/:
give it a folder of its own and start the program for the simulator with
  mkdir -p ~/varnek-sim/varnek-test
  cp /usr/share/ecusim/Loader.dat ~/varnek-sim/varnek-test/
  XDG_CONFIG_HOME=~/varnek-sim XDG_DATA_HOME=~/varnek-sim varnek-test

Switches while running (send the signal to the ecusim process):
  SIGUSR1               the ECU falls silent / answers again (toggle); the
                        adapter keeps echoing. Falling silent ends the packet
                        stream too, and the ECU answers again as after
                        power-up (10400 baud, no session): connect anew.
  SIGRTMIN              the ECU ends the packet stream without EE 88 (as if
                        it left the mode by itself) and answers requests
                        again; the program returns to polling after its
                        1.5 s time-out. Send it with: kill -s RTMIN <pid>
  SIGUSR2               the K-line port vanishes (hang-up, as when a USB
                        adapter is pulled); not undoable
  SIGINT, SIGTERM       stop
)";

volatile sig_atomic_t g_stop = 0;
volatile sig_atomic_t g_toggleSilence = 0;
volatile sig_atomic_t g_hangup = 0;
volatile sig_atomic_t g_stopStream = 0;

void OnSignal(int sig) {
  if (sig == SIGUSR1)
    g_toggleSilence = 1;
  else if (sig == SIGRTMIN)
    g_stopStream = 1;
  else if (sig == SIGUSR2)
    g_hangup = 1;
  else
    g_stop = 1;
}

struct Options {
  std::string dir = ".";
  double timeScale = 1.0;
  bool echo = true;
  bool silentEcu = false;
  bool lc1 = true;
  std::string flashImage;
  std::string ecuId = "SIMECU01";
  int corruptBlock = -1;
  int corruptByte = 0;
  bool noReadAfterWrite = false;
  double echoGapMs = 0;
  int echoGapEvery = 1;
  std::uint32_t seed = 1;
  double runUpsPerMinute = 6;
  double blipsPerMinute = 1;
  int streamNoise = 0;
  int streamSplit = 0;
  int controlPort = -1;  // -1: no control channel
  bool anyRate = false;
  int scriptLines = 0;
};

bool ParseNumber(const char* name, const char* text, double low, double high, double& out) {
  char* end = nullptr;
  const double v = std::strtod(text, &end);
  if (end == text || *end != 0 || !(v >= low && v <= high)) {
    std::fprintf(stderr, "ecusim: bad %s '%s' (%g..%g)\n", name, text, low, high);
    return false;
  }
  out = v;
  return true;
}

// "X" or "X:Y"; Y keeps its value when not given.
bool ParsePair(const char* name, const char* text, double lowX, double highX, double& x, double lowY,
               double highY, double& y) {
  const std::string t = text;
  const auto colon = t.find(':');
  if (!ParseNumber(name, t.substr(0, colon).c_str(), lowX, highX, x)) return false;
  return colon == std::string::npos || ParseNumber(name, t.substr(colon + 1).c_str(), lowY, highY, y);
}

// A whole number within low..high.
template <typename T>
bool ParseWhole(const char* name, const char* text, double low, double high, T& out) {
  double v = 0;
  if (!ParseNumber(name, text, low, high, v) || v != std::floor(v)) return false;
  out = static_cast<T>(v);
  return true;
}

// The codes of the long options, by group as in the usage text.
enum LineOption {
  kNoEcho = 1000,
  kSilentEcu,
  kNoLc1,
  kFlashImage,
  kEcuId,
  kCorruptBlock,
  kNoReadAfterWrite,
  kEchoGap
};
enum EngineOption { kSeed = 1100, kRunUps, kBlips, kNoise, kSplit };
enum TestOption { kControl = 2000, kAnyRate, kScriptLines };

const option kLongOptions[] = {{"dir", required_argument, nullptr, 'd'},
                               {"time-scale", required_argument, nullptr, 't'},
                               {"no-echo", no_argument, nullptr, kNoEcho},
                               {"silent-ecu", no_argument, nullptr, kSilentEcu},
                               {"no-lc1", no_argument, nullptr, kNoLc1},
                               {"flash-image", required_argument, nullptr, kFlashImage},
                               {"ecu-id", required_argument, nullptr, kEcuId},
                               {"seed", required_argument, nullptr, kSeed},
                               {"run-ups", required_argument, nullptr, kRunUps},
                               {"blips", required_argument, nullptr, kBlips},
                               {"stream-noise", optional_argument, nullptr, kNoise},
                               {"stream-split", optional_argument, nullptr, kSplit},
                               {"corrupt-block", required_argument, nullptr, kCorruptBlock},
                               {"no-read-after-write", no_argument, nullptr, kNoReadAfterWrite},
                               {"echo-gap", required_argument, nullptr, kEchoGap},
                               {"control", required_argument, nullptr, kControl},
                               {"any-rate", no_argument, nullptr, kAnyRate},
                               {"script-lines", required_argument, nullptr, kScriptLines},
                               {"help", no_argument, nullptr, 'h'},
                               {nullptr, 0, nullptr, 0}};

// The ports, the adapter and the ECU's flash; false on a bad argument or an
// unknown option.
bool ApplyLineOption(int c, Options& o) {
  switch (c) {
    case 'd':
      o.dir = optarg;
      return true;
    case 't': {
      char* end = nullptr;
      o.timeScale = std::strtod(optarg, &end);
      if (end == optarg || *end != 0 || o.timeScale < 0) {
        std::fprintf(stderr, "ecusim: bad --time-scale '%s'\n", optarg);
        return false;
      }
      return true;
    }
    case kNoEcho:
      o.echo = false;
      return true;
    case kSilentEcu:
      o.silentEcu = true;
      return true;
    case kNoLc1:
      o.lc1 = false;
      return true;
    case kFlashImage:
      o.flashImage = optarg;
      return true;
    case kEcuId:
      o.ecuId = optarg;
      return true;
    case kCorruptBlock: {
      double block = 0, byte = 0;
      if (!ParsePair("--corrupt-block", optarg, 0, 511, block, 0, 127, byte) || block != std::floor(block) ||
          byte != std::floor(byte))
        return false;
      o.corruptBlock = static_cast<int>(block);
      o.corruptByte = static_cast<int>(byte);
      return true;
    }
    case kNoReadAfterWrite:
      o.noReadAfterWrite = true;
      return true;
    case kEchoGap: {
      double every = 1;
      if (!ParsePair("--echo-gap", optarg, 0, 10000, o.echoGapMs, 1, 512, every) ||
          every != std::floor(every))
        return false;
      o.echoGapEvery = static_cast<int>(every);
      return true;
    }
    default:
      std::fputs(kUsage, stderr);
      return false;
  }
}

// The engine model and the packet stream.
bool ApplyEngineOption(int c, Options& o) {
  switch (c) {
    case kSeed:
      return ParseWhole("--seed", optarg, 0, 4294967295.0, o.seed);
    case kRunUps:
      return ParseNumber("--run-ups", optarg, 0, 600, o.runUpsPerMinute);
    case kBlips:
      return ParseNumber("--blips", optarg, 0, 600, o.blipsPerMinute);
    case kNoise:
      o.streamNoise = 3;
      return !optarg || ParseWhole("--stream-noise", optarg, 1, 64, o.streamNoise);
    default:  // kSplit
      o.streamSplit = 5;
      return !optarg || ParseWhole("--stream-split", optarg, 1, 8, o.streamSplit);
  }
}

// For test programs.
bool ApplyTestOption(int c, Options& o) {
  switch (c) {
    case kControl:
      return ParseWhole("--control", optarg, 0, 65535, o.controlPort);
    case kAnyRate:
      o.anyRate = true;
      return true;
    default:  // kScriptLines
      return ParseWhole("--script-lines", optarg, 0, 16, o.scriptLines);
  }
}

bool ParseOptions(int argc, char** argv, Options& o) {
  int c;
  while ((c = getopt_long(argc, argv, "d:t:h", kLongOptions, nullptr)) != -1) {
    if (c == 'h') {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    const bool ok = c >= kControl ? ApplyTestOption(c, o)
                    : c >= kSeed  ? ApplyEngineOption(c, o)
                                  : ApplyLineOption(c, o);
    if (!ok) return false;
  }
  return true;
}

// --- The devices. Each device owner adds theirs here. ---

// The ECU on the K-line: diagnostic device and boot device behind the switch.
std::shared_ptr<sim::SimDevice> MakeKlineDevice(const Options& o,
                                                const std::shared_ptr<sim::KwpEcu>& diagnostic,
                                                const std::shared_ptr<sim::BootEcu>& boot) {
  boot->SetIdentifier(o.ecuId);
  if (o.corruptBlock >= 0)
    boot->AddFault({sim::BootPoint::WriteBlock, o.corruptBlock, sim::BootFaultKind::StoreWrong,
                    static_cast<std::uint8_t>(o.corruptByte)});
  boot->SetNoReadAfterWrite(o.noReadAfterWrite);
  boot->SetEchoGap(o.echoGapMs, o.echoGapEvery);
  if (!o.flashImage.empty()) {
    if (::access(o.flashImage.c_str(), F_OK) == 0 && !boot->LoadImage(o.flashImage))
      throw std::runtime_error("--flash-image " + o.flashImage + ": not a readable file of 65536 bytes");
    boot->SetImageFile(o.flashImage);
  }
  return std::make_shared<sim::SimEcuSwitch>(diagnostic, boot);
}

// The LC-1 controller: a packet every 80 ms at 19200 baud, reading the engine
// model's mixture.
std::shared_ptr<sim::Lc1Device> MakeLc1Device(std::shared_ptr<const EngineModel> engine) {
  return std::make_shared<sim::Lc1Device>(std::make_shared<sim::EngineMixture>(std::move(engine)));
}

void InstallSignalHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2, static_cast<int>(SIGRTMIN)})
    sigaction(sig, &sa, nullptr);
}

// One engine behind the devices.
std::shared_ptr<EngineModel> MakeEngine(const Options& o) {
  auto engine = std::make_shared<EngineModel>(o.seed);
  engine->SetRandomEvents(o.blipsPerMinute / 60, o.runUpsPerMinute / 60);
  return engine;
}

// The KWP ECU reports the engine: its data record, and in the packet stream
// the crank packets, which run the engine on themselves. A packet every 20 ms
// gives band times to a few hundredths and leaves room for a split packet's
// pause even at 10400 baud.
std::shared_ptr<sim::KwpEcu> MakeKwpEcu(const Options& o, const std::shared_ptr<EngineModel>& engine) {
  auto ecu = std::make_shared<sim::KwpEcu>();
  ecu->SetRecordSource([engine] { return engine->DataRecord(); });
  ecu->SetPacketSource([engine](int corrTimes2) {
    engine->SetCorrection(corrTimes2 / 2.0);
    return engine->NextCrankPacket(0.02);
  });
  ecu->SetPacketIntervalMs(20);
  ecu->SetStreamNoise(o.streamNoise, o.seed);
  ecu->SetStreamSplit(o.streamSplit);
  return ecu;
}

sim::SimLineOptions KlineOptions(const Options& o) {
  sim::SimLineOptions options;
  options.timeScale = o.timeScale;
  options.echo = o.echo;
  options.absorbWakeByte = true;
  options.anyRate = o.anyRate;
  return options;
}

// The devices on their lines, the switches that work them (by signals and
// by the control channel) and the wait for the end.
class Simulator {
 public:
  explicit Simulator(const Options& o)
      : o_(o),
        engine_(MakeEngine(o)),
        engineClock_(std::chrono::steady_clock::now()),
        ecu_(MakeKwpEcu(o, engine_)),
        boot_(std::make_shared<sim::BootEcu>()),
        kline_(o.dir + "/kline", MakeKlineDevice(o, ecu_, boot_), KlineOptions(o)),
        bench_(o.dir, o.anyRate),
        silent_(o.silentEcu) {
    if (o.silentEcu) kline_.SetSilent(true);
    if (o.lc1) {
      sim::SimLineOptions options;
      options.timeScale = o.timeScale;
      options.echo = false;  // the LC-1 port has no K-line adapter
      options.anyRate = o.anyRate;
      lc1Device_ = MakeLc1Device(engine_);
      lc1_ = std::make_unique<sim::SimLine>(o.dir + "/lc1", lc1Device_, options);
    }
    std::printf("ecusim: K-line %s -> %s\n", kline_.LinkPath().c_str(), kline_.SlavePath().c_str());
    if (lc1_) std::printf("ecusim: LC-1   %s -> %s\n", lc1_->LinkPath().c_str(), lc1_->SlavePath().c_str());
    AddBenchLines();
    if (o.controlPort >= 0) StartControl();
    std::fflush(stdout);
  }

  // Until a signal stops it or the parent ends.
  void Run(pid_t parent) {
    while (!g_stop) {
      timespec ts{0, 200'000'000};
      ::nanosleep(&ts, nullptr);  // interrupted at once by the signals above
      if (getppid() != parent) break;
      // While the stream runs, each crank packet runs the engine on (random
      // run-ups included); here only the time between streams.
      const auto now = std::chrono::steady_clock::now();
      if (!ecu_->Streaming()) engine_->Advance(std::chrono::duration<double>(now - engineClock_).count());
      engineClock_ = now;
      TakeSignals();
    }
  }

 private:
  // The lines the control channel reaches: these two, and the test lines it
  // makes anew for each test.
  void AddBenchLines() {
    bench_.Adopt("kline", &kline_, {.kwp = ecu_, .boot = boot_});
    if (lc1_) bench_.Adopt("lc1", lc1_.get(), {.lc1 = lc1Device_});
    for (int i = 1; i <= o_.scriptLines; ++i) {
      const std::string name = "line" + std::to_string(i);
      bench_.Make(name, "puppet");
      std::printf("ecusim: %-6s %s -> %s\n", name.c_str(), bench_.Line(name)->LinkPath().c_str(),
                  bench_.Line(name)->SlavePath().c_str());
    }
  }

  void StartControl() {
    control_ = std::make_unique<sim::ControlChannel>(static_cast<std::uint16_t>(o_.controlPort));
    bench_.AddCommands(*control_);
    using Args = std::vector<std::string>;
    Command("ecu-silent", "ecu-silent on|off", 1,
            [this](const Args& args) { SetSilent(false, sim::ParseOnOff(args[0])); });
    Command("stop-stream", "stop-stream", 0, [this](const Args&) { StopStream(); });
    Command("stream-noise", "stream-noise N (0 = none)", 1,
            [this](const Args& args) { ecu_->SetStreamNoise(sim::ParseWhole(args[0], 0, 64), o_.seed); });
    Command("stream-split", "stream-split K (0 = whole packets)", 1,
            [this](const Args& args) { ecu_->SetStreamSplit(sim::ParseWhole(args[0], 0, 8)); });
    control_->Start();
    std::printf("ecusim: control 127.0.0.1:%u\n", static_cast<unsigned>(control_->Port()));
  }

  // A command of a fixed number of words with no result.
  void Command(const char* verb, const char* usage, std::size_t words,
               std::function<void(const std::vector<std::string>&)> act) {
    control_->On(verb, usage, [words, act](const std::vector<std::string>& args) {
      if (args.size() != words) throw std::invalid_argument("wrong number of words");
      act(args);
      return std::string();
    });
  }

  void TakeSignals() {
    if (g_stopStream) {
      g_stopStream = 0;
      StopStream();
    }
    if (g_toggleSilence) {
      g_toggleSilence = 0;
      SetSilent(true, false);
    }
    if (g_hangup) {
      g_hangup = 0;
      kline_.Hangup();
      std::puts("ecusim: K-line port dropped");
      std::fflush(stdout);
    }
  }

  void SetSilent(bool toggle, bool on) {
    std::lock_guard lock(switchMutex_);
    silent_ = toggle ? !silent_ : on;
    // A silent ECU is as good as switched off: it comes back fresh.
    if (silent_) ecu_->Reset();
    kline_.SetSilent(silent_);
    std::printf("ecusim: ECU %s\n", silent_ ? "silent" : "answering");
    std::fflush(stdout);
  }

  void StopStream() {
    std::lock_guard lock(switchMutex_);
    const bool was = ecu_->Streaming();
    ecu_->StopStream();
    std::printf("ecusim: %s\n", was ? "packet stream ended" : "no packet stream to end");
    std::fflush(stdout);
  }

  const Options& o_;
  std::shared_ptr<EngineModel> engine_;
  std::chrono::steady_clock::time_point engineClock_;  // how far Run has moved the engine on
  std::shared_ptr<sim::KwpEcu> ecu_;
  std::shared_ptr<sim::BootEcu> boot_;
  sim::SimLine kline_;
  std::unique_ptr<sim::SimLine> lc1_;
  std::shared_ptr<sim::Lc1Device> lc1Device_;
  sim::Bench bench_;
  std::mutex switchMutex_;  // the switches come from the signals and the control channel's thread
  bool silent_;
  std::unique_ptr<sim::ControlChannel> control_;  // last: its thread ends first
};

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) return 2;

  // End with the parent (the run script or a test), even when it is killed.
  const pid_t parent = getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) return 0;
  InstallSignalHandlers();

  if (::mkdir(o.dir.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "ecusim: cannot create %s: %s\n", o.dir.c_str(), std::strerror(errno));
    return 1;
  }
  try {
    Simulator(o).Run(parent);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ecusim: %s\n", e.what());
    return 1;
  }
  std::puts("ecusim: stopped");
  return 0;
}
