#pragma once
// The adapter's 9-byte command frames and the constants of its block protocol.

#include <array>
#include <cstdint>

namespace m84 {

constexpr int kFrameSize = 9;
constexpr int kBlockSize = 64;
constexpr int kWriteEnableCodeSize = 4;

constexpr uint8_t kFrameLead = 0x0D;
constexpr uint8_t kFrameLead2 = 0x06;
constexpr uint8_t kDeviceCode = 0x28;
constexpr uint8_t kProbeDeviceCode = 0x00;
constexpr uint8_t kAckByte = 0x06;
constexpr uint8_t kProbeReply = 0x28;  // the adapter answers the probe with the device code

constexpr double kProbeLimitMs = 100;
constexpr double kReplyLimitMs = 1000;

// Pager memory ranges moved by the pager read and write, and the serial number inside them.
constexpr int kTransferFirst = 0x000;
constexpr int kTransferLast = 0x5FF;
constexpr int kSerialBlockFirst = 0x548;
constexpr int kSerialBlockLast = 0x587;
constexpr int kSerialFirst = 0x548;
constexpr int kSerialLast = 0x552;  // the ten digits and their terminating zero

constexpr int kProgressRange = 16;

// Block writes start on a 16-byte boundary inside the 2048-byte memory.
constexpr int kWriteAddressMask = 0x7F0;

enum class AdapterCommand : uint8_t {
  Probe = 0xFA,
  ReadBlock = 0xC3,
  WriteBlock = 0xC4,
  WriteEnable = 0xC5,
  End = 0xC6,
};

// Byte positions inside a frame.
enum FrameByte {
  kLeadByte = 0,
  kLead2Byte,
  kDeviceByte,
  kCommandByte,
  kAddressHighByte,
  kAddressLowByte,
  kLengthByte,
  kPadByte,
  kCheckByte
};

using AdapterFrame = std::array<uint8_t, kFrameSize>;
using WriteEnableCode = std::array<uint8_t, kWriteEnableCodeSize>;

AdapterFrame ProbeFrame();
AdapterFrame ReadBlockFrame(int address);
AdapterFrame WriteBlockFrame(int address);  // the address's low four bits are cleared
AdapterFrame WriteEnableFrame();
AdapterFrame EndFrame();

// The code the adapter wants in bytes 4 to 7 of the write-enable frame.
WriteEnableCode BuildWriteEnableCode();

bool FrameCheckMatches(const AdapterFrame& frame);
// The block address carried in bytes 4 and 5.
int FrameAddress(const AdapterFrame& frame);

// The progress bar position after a block of first..last, when nextAddress is the address
// after the block just done.
int ProgressPosition(int first, int last, int nextAddress);

}  // namespace m84
