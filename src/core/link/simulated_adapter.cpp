#include "core/link/simulated_adapter.h"

#include <QStringList>
#include <algorithm>
#include <cstring>
#include <iterator>

namespace m84 {

namespace {

struct FaultName {
  const char* name;
  FaultKind kind;
  bool takesValue;
};

const FaultName kFaultNames[] = {
    {"read-nak", FaultKind::ReadNak, true},
    {"read-silent", FaultKind::ReadSilent, true},
    {"read-short", FaultKind::ReadShort, true},
    {"write-nak", FaultKind::WriteNak, true},
    {"write-silent", FaultKind::WriteSilent, true},
    {"write-data-nak", FaultKind::WriteDataNak, true},
    {"enable-nak", FaultKind::EnableNak, false},
    {"corrupt", FaultKind::Corrupt, true},
    {"probe", FaultKind::ProbeAnswer, true},
    {"noise", FaultKind::Noise, true},
    {"late-ack", FaultKind::LateAck, true},
    {"late-data", FaultKind::LateData, true},
    {"unplug", FaultKind::Unplug, true},
};

// What a confused adapter might send ahead of its answer: neither an acknowledgement nor the
// probe answer, and no frame start.
const uint8_t kNoise[] = {0xFF, 0x00, 0x55};
constexpr int kLongestHoldMs = 60000;

constexpr int kBlockCount = kImageSize / kBlockSize;
constexpr int kAddressMask = kImageSize - 1;
const char kSimulatedSerialNumber[] = "8400012345";

bool ParseNumber(const QString& text, int& value) {
  bool ok = false;
  value = text.toInt(&ok, 0);  // base 0: decimal, or 0x-hex
  return ok && value >= 0;
}

bool ValueInRange(FaultKind kind, int value) {
  switch (kind) {
    case FaultKind::Corrupt: return value < kImageSize;
    case FaultKind::ProbeAnswer: return value <= 0xFF;
    default: return value < kBlockCount;
  }
}

bool TargetsProbeToo(FaultKind kind) {
  return kind == FaultKind::Noise || kind == FaultKind::LateAck || kind == FaultKind::Unplug;
}

bool HoldsBack(FaultKind kind) { return kind == FaultKind::LateAck || kind == FaultKind::LateData; }

// "N" or "probe", then ":MS" for the kinds that hold an answer back.
std::optional<Fault> ParseTargetedFault(FaultKind kind, const QString& argument) {
  const QString target = argument.section(QLatin1Char(':'), 0, 0).trimmed();
  const QString delay = argument.section(QLatin1Char(':'), 1).trimmed();
  Fault fault{kind};
  if (TargetsProbeToo(kind) && target == QLatin1String("probe"))
    fault.value = kProbeTarget;
  else if (!ParseNumber(target, fault.value) || !ValueInRange(kind, fault.value))
    return std::nullopt;
  if (HoldsBack(kind) != !delay.isEmpty()) return std::nullopt;
  if (HoldsBack(kind) && (!ParseNumber(delay, fault.delayMs) || fault.delayMs > kLongestHoldMs)) return std::nullopt;
  return fault;
}

Result<Fault> ParseFault(const QString& item) {
  const QString name = item.section(QLatin1Char(':'), 0, 0).trimmed();
  const QString argument = item.section(QLatin1Char(':'), 1).trimmed();
  for (const FaultName& known : kFaultNames) {
    if (name != QLatin1String(known.name)) continue;
    if (known.kind == FaultKind::ProbeAnswer && argument == QLatin1String("silent"))
      return Fault{FaultKind::ProbeSilent};
    if (TargetsProbeToo(known.kind) || HoldsBack(known.kind)) {
      if (const std::optional<Fault> fault = ParseTargetedFault(known.kind, argument)) return *fault;
      return Failed({}, QStringLiteral("fault \"%1\": the block, probe or delay is missing or out of range").arg(item));
    }
    if (!known.takesValue) {
      if (argument.isEmpty()) return Fault{known.kind};
      break;
    }
    int value = 0;
    if (ParseNumber(argument, value) && ValueInRange(known.kind, value)) return Fault{known.kind, value};
    return Failed({}, QStringLiteral("fault \"%1\": the value is missing or out of range").arg(item));
  }
  return Failed({}, QStringLiteral("unknown fault \"%1\"").arg(item));
}

}  // namespace

Result<FaultPlan> ParseFaultPlan(const QString& text) {
  FaultPlan plan;
  for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
    Result<Fault> fault = ParseFault(item.trimmed());
    if (!fault) return fault.failure();
    plan.push_back(*fault);
  }
  return plan;
}

QString FaultPlanSyntax() {
  return QStringLiteral(
      "read-nak:N, read-silent:N, read-short:N, write-nak:N, write-silent:N, write-data-nak:N "
      "(N = block number 0-31, address / 64), enable-nak, corrupt:OFFSET, probe:BYTE, probe:silent, "
      "noise:T, late-ack:T:MS, late-data:N:MS, unplug:T (T = N or probe; MS = milliseconds held back)");
}

PagerImage SimulatedPagerMemory() {
  PagerImage memory;
  std::memcpy(memory.data() + kSerialFirst, kSimulatedSerialNumber, sizeof kSimulatedSerialNumber);
  return memory;
}

void SimulatedAdapter::Receive(uint8_t byte, std::vector<uint8_t>& reply) {
  if (awaitingData_)
    ReceiveDataByte(byte, reply);
  else
    ReceiveFrameByte(byte, reply);
}

bool SimulatedAdapter::TakeMemoryChanged() {
  const bool changed = memoryChanged_;
  memoryChanged_ = false;
  return changed;
}

std::optional<SimulatedAdapter::ReplyPause> SimulatedAdapter::TakeReplyPause() {
  std::optional<ReplyPause> pause;
  pause.swap(pause_);
  return pause;
}

bool SimulatedAdapter::TakeUnplugged() {
  const bool unplugged = unplugged_;
  unplugged_ = false;
  return unplugged;
}

// Bytes that cannot start a frame are dropped, so the adapter finds the next frame after noise.
void SimulatedAdapter::ReceiveFrameByte(uint8_t byte, std::vector<uint8_t>& reply) {
  if (received_ == kLeadByte && byte != kFrameLead) return;
  if (received_ == kLead2Byte && byte != kFrameLead2) {
    received_ = byte == kFrameLead ? 1 : 0;
    return;
  }
  frame_[static_cast<size_t>(received_++)] = byte;
  if (received_ < kFrameSize) return;
  received_ = 0;
  if (FrameCheckMatches(frame_)) Execute(frame_, reply);  // a damaged frame gets no answer
}

void SimulatedAdapter::ReceiveDataByte(uint8_t byte, std::vector<uint8_t>& reply) {
  data_[received_++] = byte;
  if (received_ < kBlockSize) return;
  received_ = 0;
  awaitingData_ = false;
  if (const Fault* late = FindFault(FaultKind::LateData, writeAddress_ / kBlockSize))
    HoldBack(reply.size(), late->delayMs);
  if (FindFault(FaultKind::WriteDataNak, writeAddress_ / kBlockSize)) {
    reply.push_back(kNakByte);
    return;
  }
  for (int i = 0; i < kBlockSize; ++i) memory_[(writeAddress_ + i) & kAddressMask] = data_[i];
  memoryChanged_ = true;
  writtenSinceSwap_ = true;
  ++counts_.blockWrites;
  reply.push_back(kAckByte);
}

void SimulatedAdapter::Execute(const AdapterFrame& frame, std::vector<uint8_t>& reply) {
  const auto command = static_cast<AdapterCommand>(frame[kCommandByte]);
  if (frame[kDeviceByte] == kProbeDeviceCode) {
    if (command == AdapterCommand::Probe) AnswerProbe(reply);
    return;
  }
  if (frame[kDeviceByte] != kDeviceCode) return;
  switch (command) {
    case AdapterCommand::ReadBlock: ReadBlock(FrameAddress(frame), reply); break;
    case AdapterCommand::WriteBlock: StartBlockWrite(FrameAddress(frame), reply); break;
    case AdapterCommand::WriteEnable: Enable(frame, reply); break;
    case AdapterCommand::End:
      ++counts_.ends;
      writeEnabled_ = false;
      reply.push_back(kAckByte);
      if (swap_ && writtenSinceSwap_) SwapPager();
      break;
    case AdapterCommand::Probe: break;
  }
}

void SimulatedAdapter::AnswerProbe(std::vector<uint8_t>& reply) {
  ++counts_.probes;
  if (FindFault(FaultKind::ProbeSilent) || !StartAnswer(kProbeTarget, reply)) return;
  const Fault* other = FindFault(FaultKind::ProbeAnswer);
  reply.push_back(other ? static_cast<uint8_t>(other->value) : kProbeReply);
}

void SimulatedAdapter::ReadBlock(int address, std::vector<uint8_t>& reply) {
  ++counts_.blockReads;
  const int block = address / kBlockSize;
  if (FindFault(FaultKind::ReadSilent, block) || !StartAnswer(block, reply)) return;
  if (FindFault(FaultKind::ReadNak, block)) {
    reply.push_back(kNakByte);
    return;
  }
  reply.push_back(kAckByte);
  if (const Fault* late = FindFault(FaultKind::LateData, block)) HoldBack(reply.size(), late->delayMs);
  const int count = FindFault(FaultKind::ReadShort, block) ? kBlockSize - 1 : kBlockSize;
  for (int i = 0; i < count; ++i) {
    const int offset = (address + i) & kAddressMask;
    const bool corrupt = FindFault(FaultKind::Corrupt, offset) != nullptr;
    reply.push_back(corrupt ? static_cast<uint8_t>(~memory_[offset]) : memory_[offset]);
  }
}

void SimulatedAdapter::StartBlockWrite(int address, std::vector<uint8_t>& reply) {
  const int block = address / kBlockSize;
  if (FindFault(FaultKind::WriteSilent, block) || !StartAnswer(block, reply)) return;
  // Without a write enable first the adapter keeps the pager's memory safe.
  if (!writeEnabled_ || FindFault(FaultKind::WriteNak, block)) {
    reply.push_back(kNakByte);
    return;
  }
  writeAddress_ = address & kWriteAddressMask;
  awaitingData_ = true;
  reply.push_back(kAckByte);
}

void SimulatedAdapter::Enable(const AdapterFrame& frame, std::vector<uint8_t>& reply) {
  ++counts_.writeEnables;
  const WriteEnableCode expected = BuildWriteEnableCode();
  const bool codeMatches = std::equal(expected.begin(), expected.end(), frame.begin() + kAddressHighByte);
  writeEnabled_ = codeMatches && !FindFault(FaultKind::EnableNak);
  reply.push_back(writeEnabled_ ? kAckByte : kNakByte);
}

bool SimulatedAdapter::StartAnswer(int target, std::vector<uint8_t>& reply) {
  if (FindFault(FaultKind::Unplug, target)) {
    unplugged_ = true;
    unpluggedAt_ = target;
    return false;
  }
  if (const Fault* late = FindFault(FaultKind::LateAck, target)) HoldBack(reply.size(), late->delayMs);
  if (FindFault(FaultKind::Noise, target)) reply.insert(reply.end(), std::begin(kNoise), std::end(kNoise));
  return true;
}

void SimulatedAdapter::SetSwap(bool swap) {
  swap_ = swap;
  freshMemory_ = memory_;
  swaps_ = 0;
  writtenSinceSwap_ = false;
}

// The fresh pager's serial number is the first one's plus the pagers swapped in since; a first
// serial number that is no number counts from 0.
void SimulatedAdapter::SwapPager() {
  const QByteArray first(reinterpret_cast<const char*>(freshMemory_.data() + kSerialFirst), kSerialLast - kSerialFirst);
  bool number = false;
  const qint64 base = first.toLongLong(&number);
  const QByteArray next =
      QByteArray::number((number ? base : 0) + ++swaps_).rightJustified(kSerialLast - kSerialFirst, '0');
  memory_ = freshMemory_;
  std::memcpy(memory_.data() + kSerialFirst, next.constData(), size_t(kSerialLast - kSerialFirst));
  memory_[kSerialLast] = 0;
  memoryChanged_ = true;
  writtenSinceSwap_ = false;
}

void SimulatedAdapter::HoldBack(size_t at, int ms) { pause_ = ReplyPause{at, ms}; }

const Fault* SimulatedAdapter::FindFault(FaultKind kind, int value) const {
  for (const Fault& fault : faults_)
    if (fault.kind == kind && fault.value == value) return &fault;
  return nullptr;
}

const Fault* SimulatedAdapter::FindFault(FaultKind kind) const {
  for (const Fault& fault : faults_)
    if (fault.kind == kind) return &fault;
  return nullptr;
}

}  // namespace m84
