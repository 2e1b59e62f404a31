#pragma once
// A programming adapter with a pager behind it, as a byte-in, bytes-out engine: it answers
// every command of the adapter protocol from a 2048-byte pager memory, and misbehaves on
// purpose where a fault plan says so. The simulator host serves it on a pseudo-terminal.

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/image/pager_image.h"
#include "core/link/adapter_frame.h"
#include "core/result.h"

namespace m84 {

constexpr uint8_t kNakByte = 0x15;  // what the simulated adapter says to a refused command

enum class FaultKind {
  ReadNak,       // read of block N acknowledged with a wrong byte
  ReadSilent,    // read of block N not answered at all
  ReadShort,     // read of block N acknowledged, then one data byte short
  WriteNak,      // write of block N refused
  WriteSilent,   // write of block N not answered
  WriteDataNak,  // data of block N taken, then a wrong acknowledgement
  EnableNak,     // write enable refused even with the right code
  Corrupt,       // every read-back of one memory offset returns it inverted
  ProbeAnswer,   // the probe answered with another byte
  ProbeSilent,   // the probe not answered
  // Value: a block number, or kProbeTarget for the probe.
  Noise,     // garbage bytes ahead of the answer to block N's command
  LateAck,   // the answer to block N's command held back delayMs
  LateData,  // block N's data (read) or its data acknowledgement (write) held back delayMs
  Unplug,    // the cable pulled when block N's command arrives: the line goes dead
};

constexpr int kProbeTarget = -1;  // a fault on the probe rather than on a block

struct Fault {
  FaultKind kind;
  int value = 0;  // block number, memory offset or probe answer
  int delayMs = 0;
};

using FaultPlan = std::vector<Fault>;

// "read-nak:N,read-silent:N,read-short:N,write-nak:N,write-silent:N,write-data-nak:N,
//  enable-nak,corrupt:OFFSET,probe:BYTE,probe:silent,noise:T,late-ack:T:MS,late-data:N:MS,
//  unplug:T"; N is a block number (address / 64), T a block number or "probe", numbers are
// decimal or 0x-hex. A malformed text fails with the reason.
Result<FaultPlan> ParseFaultPlan(const QString& text);
QString FaultPlanSyntax();

// The memory a simulated pager starts from: the default image with a serial number of its own.
PagerImage SimulatedPagerMemory();

class SimulatedAdapter {
 public:
  struct Counts {
    int probes = 0;
    int blockReads = 0;
    int blockWrites = 0;  // data blocks taken into memory
    int writeEnables = 0;
    int ends = 0;
  };

  SimulatedAdapter() : memory_(SimulatedPagerMemory()) {}

  // With the swap on, the memory every fresh pager starts from as well.
  void SetMemory(const PagerImage& memory) {
    memory_ = memory;
    if (swap_) SetSwap(true);
  }
  const PagerImage& Memory() const { return memory_; }
  void SetFaults(const FaultPlan& faults) { faults_ = faults; }
  // After each write's end frame the pager in the adapter is another one, fresh from the box:
  // the memory as it is now, with the next serial number each time.
  void SetSwap(bool swap);
  const Counts& Counted() const { return counts_; }

  // One byte from the program; the adapter's answer, if any, is appended to reply.
  void Receive(uint8_t byte, std::vector<uint8_t>& reply);
  // A pause on the line ends a half-received frame or data block, as the adapter's own
  // inter-byte timer would.
  bool MidMessage() const { return received_ > 0 || awaitingData_; }
  void DropPartialMessage() {
    received_ = 0;
    awaitingData_ = false;
  }
  // True once after every change of the memory.
  bool TakeMemoryChanged();

  // Where the answer just appended to reply is held back: before its byte `at`, for ms.
  struct ReplyPause {
    size_t at = 0;
    int ms = 0;
  };
  std::optional<ReplyPause> TakeReplyPause();
  // True once when an unplug fault has struck: the host then drops the line.
  bool TakeUnplugged();
  // The block (or kProbeTarget) whose command found the cable pulled.
  int UnpluggedAt() const { return unpluggedAt_; }

 private:
  void ReceiveFrameByte(uint8_t byte, std::vector<uint8_t>& reply);
  void ReceiveDataByte(uint8_t byte, std::vector<uint8_t>& reply);
  void Execute(const AdapterFrame& frame, std::vector<uint8_t>& reply);
  void AnswerProbe(std::vector<uint8_t>& reply);
  void ReadBlock(int address, std::vector<uint8_t>& reply);
  void StartBlockWrite(int address, std::vector<uint8_t>& reply);
  void Enable(const AdapterFrame& frame, std::vector<uint8_t>& reply);
  const Fault* FindFault(FaultKind kind, int value) const;
  const Fault* FindFault(FaultKind kind) const;
  // Noise, pauses and unplugging for the answer that starts at reply.size(); false: no answer.
  bool StartAnswer(int target, std::vector<uint8_t>& reply);
  void HoldBack(size_t at, int ms);
  void SwapPager();

  PagerImage memory_;
  FaultPlan faults_;
  Counts counts_;
  AdapterFrame frame_{};
  uint8_t data_[kBlockSize] = {};
  int received_ = 0;  // bytes of the frame or data block so far
  bool awaitingData_ = false;
  int writeAddress_ = 0;
  bool writeEnabled_ = false;
  bool memoryChanged_ = false;
  std::optional<ReplyPause> pause_;
  bool unplugged_ = false;
  int unpluggedAt_ = 0;
  bool swap_ = false;
  PagerImage freshMemory_;
  qint64 swaps_ = 0;
  bool writtenSinceSwap_ = false;
};

}  // namespace m84
