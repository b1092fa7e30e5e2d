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

bool ParseOptions(int argc, char** argv, Options& o) {
  enum {
    kNoEcho = 1000,
    kSilentEcu,
    kNoLc1,
    kFlashImage,
    kEcuId,
    kSeed,
    kRunUps,
    kBlips,
    kNoise,
    kSplit,
    kCorruptBlock,
    kNoReadAfterWrite,
    kEchoGap
  };
  enum { kControl = 2000, kAnyRate, kScriptLines };
  static const option longOptions[] = {{"dir", required_argument, nullptr, 'd'},
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
  int c;
  while ((c = getopt_long(argc, argv, "d:t:h", longOptions, nullptr)) != -1) {
    switch (c) {
      case 'd':
        o.dir = optarg;
        break;
      case 't': {
        char* end = nullptr;
        o.timeScale = std::strtod(optarg, &end);
        if (end == optarg || *end != 0 || o.timeScale < 0) {
          std::fprintf(stderr, "ecusim: bad --time-scale '%s'\n", optarg);
          return false;
        }
        break;
      }
      case kNoEcho:
        o.echo = false;
        break;
      case kSilentEcu:
        o.silentEcu = true;
        break;
      case kNoLc1:
        o.lc1 = false;
        break;
      case kFlashImage:
        o.flashImage = optarg;
        break;
      case kEcuId:
        o.ecuId = optarg;
        break;
      case kSeed: {
        double v = 0;
        if (!ParseNumber("--seed", optarg, 0, 4294967295.0, v) || v != std::floor(v)) return false;
        o.seed = static_cast<std::uint32_t>(v);
        break;
      }
      case kRunUps:
        if (!ParseNumber("--run-ups", optarg, 0, 600, o.runUpsPerMinute)) return false;
        break;
      case kBlips:
        if (!ParseNumber("--blips", optarg, 0, 600, o.blipsPerMinute)) return false;
        break;
      case kNoise: {
        double v = 3;
        if (optarg && (!ParseNumber("--stream-noise", optarg, 1, 64, v) || v != std::floor(v))) return false;
        o.streamNoise = static_cast<int>(v);
        break;
      }
      case kSplit: {
        double v = 5;
        if (optarg && (!ParseNumber("--stream-split", optarg, 1, 8, v) || v != std::floor(v))) return false;
        o.streamSplit = static_cast<int>(v);
        break;
      }
      case kCorruptBlock: {
        double block = 0, byte = 0;
        if (!ParsePair("--corrupt-block", optarg, 0, 511, block, 0, 127, byte) ||
            block != std::floor(block) || byte != std::floor(byte))
          return false;
        o.corruptBlock = static_cast<int>(block);
        o.corruptByte = static_cast<int>(byte);
        break;
      }
      case kNoReadAfterWrite:
        o.noReadAfterWrite = true;
        break;
      case kEchoGap: {
        double every = 1;
        if (!ParsePair("--echo-gap", optarg, 0, 10000, o.echoGapMs, 1, 512, every) ||
            every != std::floor(every))
          return false;
        o.echoGapEvery = static_cast<int>(every);
        break;
      }
      case kControl: {
        double v = 0;
        if (!ParseNumber("--control", optarg, 0, 65535, v) || v != std::floor(v)) return false;
        o.controlPort = static_cast<int>(v);
        break;
      }
      case kAnyRate:
        o.anyRate = true;
        break;
      case kScriptLines: {
        double v = 0;
        if (!ParseNumber("--script-lines", optarg, 0, 16, v) || v != std::floor(v)) return false;
        o.scriptLines = static_cast<int>(v);
        break;
      }
      case 'h':
        std::fputs(kUsage, stdout);
        std::exit(0);
      default:
        std::fputs(kUsage, stderr);
        return false;
    }
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

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, o)) return 2;

  // End with the parent (the run script or a test), even when it is killed.
  const pid_t parent = getppid();
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) return 0;

  struct sigaction sa {};
  sa.sa_handler = OnSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  sigaction(SIGUSR1, &sa, nullptr);
  sigaction(SIGUSR2, &sa, nullptr);
  sigaction(SIGRTMIN, &sa, nullptr);

  if (::mkdir(o.dir.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "ecusim: cannot create %s: %s\n", o.dir.c_str(), std::strerror(errno));
    return 1;
  }
  try {
    // One engine behind the devices, run on in real time by the loop below.
    auto engine = std::make_shared<EngineModel>(o.seed);
    engine->SetRandomEvents(o.blipsPerMinute / 60, o.runUpsPerMinute / 60);
    auto engineClock = std::chrono::steady_clock::now();

    sim::SimLineOptions kOptions;
    kOptions.timeScale = o.timeScale;
    kOptions.echo = o.echo;
    kOptions.absorbWakeByte = true;
    kOptions.anyRate = o.anyRate;
    // The KWP ECU reports the engine: its data record, and in the packet
    // stream the crank packets, which run the engine on themselves. A packet
    // every 20 ms gives band times to a few hundredths and leaves room for a
    // split packet's pause even at 10400 baud.
    auto ecu = std::make_shared<sim::KwpEcu>();
    ecu->SetRecordSource([engine] { return engine->DataRecord(); });
    ecu->SetPacketSource([engine](int corrTimes2) {
      engine->SetCorrection(corrTimes2 / 2.0);
      return engine->NextCrankPacket(0.02);
    });
    ecu->SetPacketIntervalMs(20);
    ecu->SetStreamNoise(o.streamNoise, o.seed);
    ecu->SetStreamSplit(o.streamSplit);
    auto boot = std::make_shared<sim::BootEcu>();  // the boot code and loader
    sim::SimLine kline(o.dir + "/kline", MakeKlineDevice(o, ecu, boot), kOptions);
    if (o.silentEcu) kline.SetSilent(true);

    std::unique_ptr<sim::SimLine> lc1;
    std::shared_ptr<sim::Lc1Device> lc1Device;
    if (o.lc1) {
      sim::SimLineOptions lOptions;
      lOptions.timeScale = o.timeScale;
      lOptions.echo = false;  // the LC-1 port has no K-line adapter
      lOptions.anyRate = o.anyRate;
      lc1Device = MakeLc1Device(engine);
      lc1 = std::make_unique<sim::SimLine>(o.dir + "/lc1", lc1Device, lOptions);
    }
    std::printf("ecusim: K-line %s -> %s\n", kline.LinkPath().c_str(), kline.SlavePath().c_str());
    if (lc1) std::printf("ecusim: LC-1   %s -> %s\n", lc1->LinkPath().c_str(), lc1->SlavePath().c_str());

    // The lines the control channel reaches: these two, and the test lines
    // it makes anew for each test.
    sim::Bench bench(o.dir, o.anyRate);
    bench.Adopt("kline", &kline, {.kwp = ecu, .boot = boot});
    if (lc1) bench.Adopt("lc1", lc1.get(), {.lc1 = lc1Device});
    for (int i = 1; i <= o.scriptLines; ++i) {
      const std::string name = "line" + std::to_string(i);
      bench.Make(name, "puppet");
      std::printf("ecusim: %-6s %s -> %s\n", name.c_str(), bench.Line(name)->LinkPath().c_str(),
                  bench.Line(name)->SlavePath().c_str());
    }

    // The switches, worked by the signals in the loop below and by the
    // control channel on its own thread.
    std::mutex switchMutex;
    bool silent = o.silentEcu;
    auto setSilent = [&](bool toggle, bool on) {
      std::lock_guard lock(switchMutex);
      silent = toggle ? !silent : on;
      // A silent ECU is as good as switched off: it comes back fresh.
      if (silent) ecu->Reset();
      kline.SetSilent(silent);
      std::printf("ecusim: ECU %s\n", silent ? "silent" : "answering");
      std::fflush(stdout);
    };
    auto stopStream = [&] {
      std::lock_guard lock(switchMutex);
      const bool was = ecu->Streaming();
      ecu->StopStream();
      std::printf("ecusim: %s\n", was ? "packet stream ended" : "no packet stream to end");
      std::fflush(stdout);
    };

    std::unique_ptr<sim::ControlChannel> control;
    if (o.controlPort >= 0) {
      control = std::make_unique<sim::ControlChannel>(static_cast<std::uint16_t>(o.controlPort));
      bench.AddCommands(*control);
      // A command of a fixed number of words with no result.
      auto command = [&control](const char* verb, const char* usage, std::size_t words,
                                std::function<void(const std::vector<std::string>&)> act) {
        control->On(verb, usage, [words, act](const std::vector<std::string>& args) {
          if (args.size() != words) throw std::invalid_argument("wrong number of words");
          act(args);
          return std::string();
        });
      };
      command("ecu-silent", "ecu-silent on|off", 1,
              [&](const std::vector<std::string>& args) { setSilent(false, sim::ParseOnOff(args[0])); });
      command("stop-stream", "stop-stream", 0, [&](const std::vector<std::string>&) { stopStream(); });
      command("stream-noise", "stream-noise N (0 = none)", 1, [&](const std::vector<std::string>& args) {
        ecu->SetStreamNoise(sim::ParseWhole(args[0], 0, 64), o.seed);
      });
      command(
          "stream-split", "stream-split K (0 = whole packets)", 1,
          [&](const std::vector<std::string>& args) { ecu->SetStreamSplit(sim::ParseWhole(args[0], 0, 8)); });
      control->Start();
      std::printf("ecusim: control 127.0.0.1:%u\n", static_cast<unsigned>(control->Port()));
    }
    std::fflush(stdout);

    // The lines run on their own threads; this one only waits for the end.
    while (!g_stop) {
      timespec ts{0, 200'000'000};
      ::nanosleep(&ts, nullptr);  // interrupted at once by the signals above
      if (getppid() != parent) break;
      // While the stream runs, each crank packet runs the engine on (random
      // run-ups included); here only the time between streams.
      const auto now = std::chrono::steady_clock::now();
      if (!ecu->Streaming()) engine->Advance(std::chrono::duration<double>(now - engineClock).count());
      engineClock = now;
      if (g_stopStream) {
        g_stopStream = 0;
        stopStream();
      }
      if (g_toggleSilence) {
        g_toggleSilence = 0;
        setSilent(true, false);
      }
      if (g_hangup) {
        g_hangup = 0;
        kline.Hangup();
        std::puts("ecusim: K-line port dropped");
        std::fflush(stdout);
      }
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ecusim: %s\n", e.what());
    return 1;
  }
  std::puts("ecusim: stopped");
  return 0;
}
