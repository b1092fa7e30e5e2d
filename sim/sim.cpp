#include "sim/sim.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <future>
#include <limits>
#include <stdexcept>

#include "common/timing.h"
#include "link/port_termios2.h"

namespace sim {

namespace {

// Bytes the program has not taken yet; beyond this the oldest are lost, as on a
// real line nobody reads.
constexpr std::size_t kMaxPending = 64 * 1024;

std::runtime_error SysError(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

}  // namespace

std::uint8_t GarbleByte(std::uint8_t b) { return static_cast<std::uint8_t>(b ^ 0xA5); }

double ByteSeconds(const LineSettings& s) {
  if (s.baud == 0) return 0;
  return (1.0 + 8.0 + (s.stopBits == 2 ? 2.0 : 1.0)) / static_cast<double>(s.baud);
}

// --- SimDevice ---

void SimDevice::Receive(std::uint8_t b, const LineSettings& program) {
  OnByte(program.baud != 0 && program.baud != Settings().baud ? GarbleByte(b) : b, program);
}

void SimDevice::Send(const std::vector<std::uint8_t>& bytes, double gapMs) {
  Send(bytes.data(), bytes.size(), gapMs);
}

void SimDevice::Send(const std::uint8_t* data, std::size_t n, double gapMs) {
  if (line_) line_->QueueFromDevice(this, data, n, gapMs);
}

void SimDevice::ScheduleTick(double ms) {
  if (line_) line_->SetTick(this, ms);
}

void SimDevice::HoldOutput(double ms) {
  if (line_) line_->HoldDelivery(ms);
}

double SimDevice::WireTimeMs() const { return line_ ? line_->current_ * 1000.0 : 0.0; }

// --- SimEcuSwitch ---

SimEcuSwitch::SimEcuSwitch(std::shared_ptr<SimDevice> diagnostic, std::shared_ptr<SimDevice> boot)
    : diag_(std::move(diagnostic)), boot_(std::move(boot)) {}

SimDevice* SimEcuSwitch::Active() const { return bootActive_ ? boot_.get() : diag_.get(); }

LineSettings SimEcuSwitch::Settings() const {
  if (SimDevice* d = Active()) return d->Settings();
  return bootActive_ ? LineSettings{38400, 2} : LineSettings{10400, 1};
}

void SimEcuSwitch::Receive(std::uint8_t b, const LineSettings& program) {
  bootActive_ = program.stopBits == 2;
  if (SimDevice* d = Active()) d->Receive(b, program);
}

void SimEcuSwitch::OnByte(std::uint8_t b, const LineSettings& program) { Receive(b, program); }

void SimEcuSwitch::Attach(SimLine* line) {
  SimDevice::Attach(line);
  if (diag_) diag_->Attach(line);
  if (boot_) boot_->Attach(line);
}

// --- SimLine ---

SimLine::SimLine(std::string linkPath, std::shared_ptr<SimDevice> device, SimLineOptions options)
    : linkPath_(std::move(linkPath)),
      device_(std::move(device)),
      echo_(options.echo),
      timeScale_(options.timeScale),
      absorbWake_(options.absorbWakeByte),
      anyRate_(options.anyRate) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) throw SysError("posix_openpt");
  char name[128];
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
    auto e = SysError("unlockpt/ptsname");
    ::close(master_);
    throw e;
  }
  slavePath_ = name;
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  // Our own slave descriptor keeps the pair alive while the program has the
  // port closed: without it the master would report a hang-up in a loop.
  slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (slave_ < 0 || wake_ < 0) {
    auto e = SysError("open slave/eventfd");
    ::close(master_);
    if (slave_ >= 0) ::close(slave_);
    if (wake_ >= 0) ::close(wake_);
    throw e;
  }
  struct stat st {};
  if (::lstat(linkPath_.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(linkPath_.c_str());
  if (::symlink(name, linkPath_.c_str()) != 0) {
    auto e = SysError("symlink " + linkPath_);
    ::close(master_);
    ::close(slave_);
    ::close(wake_);
    throw e;
  }
  clockStart_ = PerfCounter();
  if (device_) device_->Attach(this);
  thread_ = std::thread([this] { ThreadMain(); });
}

SimLine::~SimLine() {
  stop_ = true;
  Wake();
  if (thread_.joinable()) thread_.join();
  if (device_) device_->Attach(nullptr);
  DoHangup();
  ::close(wake_);
}

double SimLine::Now() const {
  return static_cast<double>(PerfCounter() - clockStart_) / static_cast<double>(PerfFrequency());
}

void SimLine::Wake() {
  std::uint64_t one = 1;
  [[maybe_unused]] auto n = ::write(wake_, &one, sizeof one);
}

LineSettings SimLine::ReadProgram() const {
  TtyLineSettings t;
  if (master_ < 0 || TtyGetLine(master_, t) != 0) return {};
  return LineSettings{t.baud, t.stopBits};
}

bool SimLine::ProgramReady() const {
  // Until the program has put the tty in raw mode the slave echoes what we
  // write back to us; delivering nothing then avoids a feedback loop, as a
  // closed port on a real line receives nothing.
  TtyLineSettings t;
  return master_ >= 0 && TtyGetLine(master_, t) == 0 && t.raw;
}

SimLine::ProgramView SimLine::ProgramSettings() const {
  std::lock_guard lock(fdMutex_);
  TtyLineSettings t;
  if (master_ < 0) throw std::runtime_error("line hung up");
  if (int err = TtyGetLine(master_, t)) throw std::runtime_error(std::strerror(err));
  return ProgramView{t.baud, t.dataBits, t.parity, t.stopBits, t.raw};
}

void SimLine::SetEcho(bool on) { echo_ = on; }
void SimLine::SetSilent(bool on) { silent_ = on; }
void SimLine::SetAbsorbWakeByte(bool on) { absorbWake_ = on; }
void SimLine::SetTimeScale(double scale) { timeScale_ = std::max(0.0, scale); }
double SimLine::TimeScale() const { return timeScale_.load(); }

void SimLine::Hangup() {
  hangupRequest_ = true;
  Wake();
}

void SimLine::DoHangup() {
  std::lock_guard lock(fdMutex_);
  if (master_ < 0) return;
  // Remove the link only while it still names our slave (a newer line may own it).
  char target[256];
  ssize_t n = ::readlink(linkPath_.c_str(), target, sizeof target - 1);
  if (n > 0) {
    target[n] = 0;
    if (slavePath_ == target) ::unlink(linkPath_.c_str());
  }
  ::close(master_);
  ::close(slave_);
  master_ = slave_ = -1;
  in_.clear();
  out_.clear();
  pending_.clear();
  held_.clear();
  hungUp_ = true;
}

void SimLine::Post(std::function<void()> fn) {
  {
    std::lock_guard lock(postMutex_);
    posted_.push_back(std::move(fn));
  }
  Wake();
}

void SimLine::Run(const std::function<void()>& fn) {
  if (std::this_thread::get_id() == thread_.get_id()) {
    fn();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  auto result = done->get_future();
  Post([fn, done] {
    try {
      fn();
      done->set_value();
    } catch (...) {
      done->set_exception(std::current_exception());
    }
  });
  result.get();
}

void SimLine::QueueFromDevice(SimDevice* device, const std::uint8_t* data, std::size_t n, double gapMs) {
  if (silent_ || master_ < 0 || n == 0) return;
  LineSettings s = device->Settings();
  double byteTime = ByteSeconds(s) * timeScale_.load();
  double start = std::max(current_ + std::max(0.0, gapMs) / 1000.0, outBusyUntil_);
  for (std::size_t i = 0; i < n; ++i) {
    start += byteTime;
    out_.push_back(OutByte{data[i], start, s.baud});
  }
  outBusyUntil_ = start;
  // Bounded like the pending buffer: a device streaming into a line nobody
  // reads must not grow the queue without limit.
  while (out_.size() > kMaxPending) out_.pop_front();
}

void SimLine::SetTick(SimDevice* device, double ms) {
  ticks_.erase(
      std::remove_if(ticks_.begin(), ticks_.end(), [device](const Tick& t) { return t.device == device; }),
      ticks_.end());
  if (ms >= 0) ticks_.push_back(Tick{device, current_ + ms / 1000.0});  // drift-free periods
}

void SimLine::HoldDelivery(double ms) { holdUntil_ = std::max(holdUntil_, current_ + ms / 1000.0); }

void SimLine::ReadFromProgram() {
  std::uint8_t buf[4096];
  for (;;) {
    ssize_t n = ::read(master_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    double now = Now();
    bool ready = ProgramReady();
    LineSettings program = ReadProgram();
    double byteTime = ByteSeconds(program) * timeScale_.load();
    if (anyRate_) program.baud = 0;
    for (ssize_t i = 0; i < n; ++i) {
      if (!ready) continue;
      std::uint8_t b = buf[i];
      bool absorb = absorbWake_ && b == 0x01 && program.stopBits == 1 &&
                    (lastProgramByte_ < 0 || now - lastProgramByte_ >= 0.020);
      lastProgramByte_ = now;
      double due = std::max(now, inBusyUntil_) + byteTime;
      inBusyUntil_ = due;
      in_.push_back(InByte{b, due, program, absorb});
    }
  }
}

double SimLine::NextDue() const {
  double next = std::numeric_limits<double>::infinity();
  if (!in_.empty()) next = std::min(next, in_.front().due);
  if (!out_.empty()) next = std::min(next, out_.front().due);
  for (const Tick& t : ticks_) next = std::min(next, t.due);
  if (!held_.empty()) next = std::min(next, holdUntil_);
  return next;
}

void SimLine::Deliver(std::uint8_t b) {
  if (master_ < 0) return;
  toProgram_++;
  // Everything after a held byte waits with it, so the order stays.
  if (current_ < holdUntil_ || !held_.empty()) {
    held_.push_back(b);
    if (held_.size() > kMaxPending) held_.erase(held_.begin());
    return;
  }
  pending_.push_back(b);
  if (pending_.size() > kMaxPending) pending_.erase(pending_.begin());
}

void SimLine::FlushPending() {
  if (!held_.empty() && Now() >= holdUntil_) {
    pending_.insert(pending_.end(), held_.begin(), held_.end());
    held_.clear();
  }
  while (!pending_.empty() && master_ >= 0) {
    ssize_t n = ::write(master_, pending_.data(), pending_.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the program's input buffer is full: poll for POLLOUT
    pending_.erase(pending_.begin(), pending_.begin() + n);
  }
}

void SimLine::RunDue(double now) {
  for (;;) {
    // Handle events strictly in time order, so an echo always leaves before
    // the reply its byte provoked.
    double inDue = in_.empty() ? INFINITY : in_.front().due;
    double outDue = out_.empty() ? INFINITY : out_.front().due;
    auto tick = std::min_element(ticks_.begin(), ticks_.end(),
                                 [](const Tick& a, const Tick& b) { return a.due < b.due; });
    double tickDue = tick == ticks_.end() ? INFINITY : tick->due;
    double first = std::min({inDue, outDue, tickDue});
    if (first > now) return;
    current_ = first;
    if (inDue == first) {
      InByte in = in_.front();
      in_.pop_front();
      fromProgram_++;
      if (echo_) Deliver(in.b);
      if (device_ && !silent_ && !in.absorb) device_->Receive(in.b, in.program);
    } else if (outDue == first) {
      OutByte out = out_.front();
      out_.pop_front();
      if (!ProgramReady()) continue;
      std::uint8_t b = out.b;
      if (!anyRate_ && ReadProgram().baud != out.baud) {
        b = GarbleByte(b);
        garbled_++;
      }
      Deliver(b);
    } else {
      SimDevice* d = tick->device;
      ticks_.erase(tick);
      d->OnTick();
    }
  }
}

void SimLine::ThreadMain() {
  while (!stop_) {
    std::vector<std::function<void()>> posted;
    {
      std::lock_guard lock(postMutex_);
      posted.swap(posted_);
    }
    if (hangupRequest_ && !hungUp_) DoHangup();
    current_ = Now();
    for (auto& fn : posted) fn();

    double now = Now();
    current_ = now;
    RunDue(now);
    FlushPending();

    pollfd fds[2] = {{wake_, POLLIN, 0}, {master_, POLLIN, 0}};
    if (!pending_.empty()) fds[1].events |= POLLOUT;
    nfds_t nfds = master_ >= 0 ? 2 : 1;
    double wait = NextDue() - Now();
    timespec ts{};
    timespec* timeout = nullptr;
    if (std::isfinite(wait)) {
      wait = std::max(0.0, wait);
      ts.tv_sec = static_cast<time_t>(wait);
      ts.tv_nsec = static_cast<long>((wait - static_cast<double>(ts.tv_sec)) * 1e9);
      timeout = &ts;
    }
    int rc = ::ppoll(fds, nfds, timeout, nullptr);
    if (rc < 0) continue;  // EINTR
    if (fds[0].revents & POLLIN) {
      std::uint64_t v;
      [[maybe_unused]] auto n = ::read(wake_, &v, sizeof v);
    }
    if (nfds == 2 && (fds[1].revents & POLLIN)) ReadFromProgram();
  }
}

}  // namespace sim
