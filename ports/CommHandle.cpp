#include "ports/CommHandle.h"

#include <algorithm>

namespace zel {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

Clock::time_point Later(Clock::time_point a, uint64_t ms) {
  return a + milliseconds(static_cast<int64_t>(std::min<uint64_t>(ms, uint64_t{1} << 40)));
}

// What is left until a point, for the device: whole milliseconds, rounded
// up, so that a wait never ends before its point; none for no point.
CSerialDevice::Timeout Left(Clock::time_point until) {
  if (until == Clock::time_point::max()) return CSerialDevice::kNoLimit;
  return std::max(std::chrono::ceil<milliseconds>(until - Clock::now()), milliseconds(0));
}

}  // namespace

bool CCommHandle::SetMask(uint32_t mask) {
  if (!m_device->IsOpen()) return false;
  m_mask = mask;
  return true;
}

bool CCommHandle::Read(void* buffer, uint32_t count, uint32_t& read) {
  COverlapped ov;
  ov.op = COverlapped::Op::Read;
  ov.readBuffer = static_cast<uint8_t*>(buffer);
  ov.count = count;
  ov.start = Clock::now();
  const Step step = DriveRead(ov, Clock::time_point::max());
  read = ov.done;
  return step == Step::Complete;
}

bool CCommHandle::Write(const void* buffer, uint32_t count, uint32_t& written) {
  COverlapped ov;
  ov.op = COverlapped::Op::Write;
  ov.writeBuffer = static_cast<const uint8_t*>(buffer);
  ov.count = count;
  ov.start = Clock::now();
  const Step step = DriveWrite(ov, Clock::time_point::max());
  written = ov.done;
  return step == Step::Complete;
}

bool CCommHandle::ReadOverlapped(void* buffer, uint32_t count, COverlapped& ov) {
  ov.op = COverlapped::Op::Read;
  ov.readBuffer = static_cast<uint8_t*>(buffer);
  ov.count = count;
  return Start(ov);
}

bool CCommHandle::WriteOverlapped(const void* buffer, uint32_t count, COverlapped& ov) {
  ov.op = COverlapped::Op::Write;
  ov.writeBuffer = static_cast<const uint8_t*>(buffer);
  ov.count = count;
  return Start(ov);
}

bool CCommHandle::WaitCommEvent(uint32_t& events, COverlapped* ov) {
  events = 0;
  COverlapped local;
  COverlapped& op = ov ? *ov : local;
  op.op = COverlapped::Op::WaitEvent;
  op.events = &events;
  op.count = 0;
  if (ov) return Start(op);
  if (!m_device->IsOpen()) return false;
  return Drive(op, Clock::time_point::max()) == Step::Complete;
}

bool CCommHandle::WaitForCompletion(COverlapped& ov, milliseconds timeout) {
  if (!ov.pending) return true;
  switch (Drive(ov, Later(Clock::now(), static_cast<uint64_t>(std::max<int64_t>(timeout.count(), 0))))) {
    case Step::Incomplete: return false;
    case Step::Failed:
      if (ov.result == DeviceError::None) ov.result = m_device->LastError();
      break;
    case Step::Complete: break;
  }
  ov.pending = false;
  return true;
}

bool CCommHandle::GetOverlappedResult(COverlapped& ov, uint32_t& transferred, bool wait) {
  if (ov.pending) {
    if (!wait) {
      transferred = ov.done;
      return false;
    }
    if (Drive(ov, Clock::time_point::max()) == Step::Failed && ov.result == DeviceError::None)
      ov.result = m_device->LastError();
    ov.pending = false;
  }
  transferred = ov.done;
  return ov.result == DeviceError::None;
}

void CCommHandle::CancelIo(COverlapped& ov) {
  if (!ov.pending) return;
  ov.pending = false;
  ov.result = DeviceError::Cancelled;
}

bool CCommHandle::Start(COverlapped& ov) {
  ov.start = Clock::now();
  ov.done = 0;
  ov.pending = false;
  ov.result = DeviceError::None;
  if (!m_device->IsOpen()) {
    ov.result = DeviceError::Invalid;
    return false;
  }
  switch (Drive(ov, ov.start)) {
    case Step::Complete: return true;
    case Step::Failed:
      if (ov.result == DeviceError::None) ov.result = m_device->LastError();
      return false;
    case Step::Incomplete: break;
  }
  ov.pending = true;
  return false;
}

CCommHandle::Step CCommHandle::Drive(COverlapped& ov, Clock::time_point limit) {
  switch (ov.op) {
    case COverlapped::Op::Read: return DriveRead(ov, limit);
    case COverlapped::Op::Write: return DriveWrite(ov, limit);
    case COverlapped::Op::WaitEvent: return DriveEvent(ov, limit);
    case COverlapped::Op::None: break;
  }
  return Step::Failed;
}

// A read ends when count bytes have come, when no byte has come for the
// gap after one did, or at its total: per byte times count plus the
// constant. A gap of kReturnAtOnce with no total takes what is there.
CCommHandle::Step CCommHandle::DriveRead(COverlapped& ov, Clock::time_point limit) {
  const CLineTimeouts& t = m_timeouts;
  const bool immediate =
      t.readGapMs == CLineTimeouts::kReturnAtOnce && t.readPerByteMs == 0 && t.readConstantMs == 0;
  const bool totalLimited = t.readPerByteMs != 0 || t.readConstantMs != 0;
  const bool gapLimited = t.readGapMs != 0 && t.readGapMs != CLineTimeouts::kReturnAtOnce;
  const Clock::time_point total =
      immediate      ? ov.start
      : totalLimited ? Later(ov.start, uint64_t{t.readPerByteMs} * ov.count + t.readConstantMs)
                     : Clock::time_point::max();
  // The first try waits the whole total unless a limit comes first: no
  // clock to read while the device holds the bytes already.
  bool first = limit == Clock::time_point::max() && ov.done == 0;
  while (ov.done < ov.count) {
    Clock::time_point deadline = total;
    if (gapLimited && ov.done > 0) deadline = std::min(deadline, Later(ov.lastByte, t.readGapMs));
    const CSerialDevice::Timeout wait =
        !first || !totalLimited ? Left(std::min(deadline, limit))
                                : milliseconds(uint64_t{t.readPerByteMs} * ov.count + t.readConstantMs);
    first = false;
    uint32_t got = 0;
    if (!m_device->Read(ov.readBuffer + ov.done, ov.count - ov.done, got, wait)) return Step::Failed;
    if (got > 0) {
      ov.done += got;
      if (ov.done < ov.count && gapLimited) ov.lastByte = Clock::now();
      continue;
    }
    const auto now = Clock::now();
    if (now >= deadline) return Step::Complete;
    if (now >= limit) return Step::Incomplete;
  }
  return Step::Complete;
}

// A write ends when the line has taken every byte, or at its total; what
// the total cut short is complete with what went.
CCommHandle::Step CCommHandle::DriveWrite(COverlapped& ov, Clock::time_point limit) {
  const CLineTimeouts& t = m_timeouts;
  const bool totalLimited = t.writePerByteMs != 0 || t.writeConstantMs != 0;
  const Clock::time_point deadline =
      totalLimited ? Later(ov.start, uint64_t{t.writePerByteMs} * ov.count + t.writeConstantMs)
                   : Clock::time_point::max();
  while (ov.done < ov.count) {
    uint32_t put = 0;
    if (!m_device->Write(ov.writeBuffer + ov.done, ov.count - ov.done, put, Left(std::min(deadline, limit))))
      return Step::Failed;
    ov.done += put;
    if (ov.done == ov.count) break;
    const auto now = Clock::now();
    if (now >= deadline) return Step::Complete;
    if (now >= limit) return Step::Incomplete;
  }
  return Step::Complete;
}

CCommHandle::Step CCommHandle::DriveEvent(COverlapped& ov, Clock::time_point limit) {
  if (!(m_mask & EV_TXEMPTY)) {
    ov.result = DeviceError::Invalid;  // no event this handle can report
    return Step::Failed;
  }
  if (m_device->Drain(Left(limit))) {
    if (ov.events) *ov.events = EV_TXEMPTY;
    return Step::Complete;
  }
  return m_device->LastError() == DeviceError::None ? Step::Incomplete : Step::Failed;
}

}  // namespace zel
