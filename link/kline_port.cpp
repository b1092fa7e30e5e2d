#include "link/kline_port.h"

#include "common/timing.h"

std::unique_ptr<KLinePort> KLinePort::OpenForEcu(const std::string& name, int speedIndex) {
  CheckSpeedIndex(speedIndex);
  std::unique_ptr<KLinePort> port(
      new KLinePort(OpenAndConfigurePort(name, BaudTable[0], ONESTOPBIT, 20, 100)));
  port->Wake();
  return port;
}

std::unique_ptr<KLinePort> KLinePort::OpenForFlash(const std::string& name) {
  std::unique_ptr<KLinePort> port(new KLinePort(OpenAndConfigurePort(name, 38400, TWOSTOPBITS, 1000, 1000)));
  port->Purge();
  return port;
}

KLinePort::~KLinePort() { Close(); }

void KLinePort::Close() { ClosePortHandle(id_); }

void KLinePort::Wake() {
  Purge();
  MsgBlock block{};
  block[0] = 0x01;
  Write(block, 1);
  DelayMs(150);
  Purge();
}

void KLinePort::SetSpeed(int speedIndex) {
  CheckSpeedIndex(speedIndex);
  SetPortBaud(Id(), BaudTable[speedIndex]);
}

std::uint32_t KLinePort::InQueue() const { return PortInQueue(Id()); }

void KLinePort::Purge() { PurgePort(Id(), PURGE_ALL); }

int KLinePort::Read(std::uint8_t* buffer, int count) { return ReadPortBlocking(Id(), buffer, count); }

int KLinePort::ReadWithin(std::uint8_t* buffer, int count, int totalMs) {
  return ReadPortWithin(Id(), buffer, count, totalMs);
}

void KLinePort::Write(const MsgBlock& block, std::uint8_t length) {
  WritePortBlocking(Id(), block.data(), length);
}

void KLinePort::SetBreak(bool on) { SetPortBreak(Id(), on); }

void KLinePort::FastInitPulse() {
  PurgePort(Id(), PURGE_TXCLEAR | PURGE_RXCLEAR);
  SetBreak(true);
  DelayMs(25);
  SetBreak(false);
  DelayMs(25);
  PurgePort(Id(), PURGE_TXCLEAR | PURGE_RXCLEAR);
}
