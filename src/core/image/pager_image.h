#pragma once
// The pager's 2048-byte configuration memory and the 16-byte selection block kept beside it.

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>

namespace m84 {

constexpr int kImageSize = 2048;
constexpr int kExchangedSize = 0x600;  // only 0x000-0x5FF travels to and from the pager
constexpr int kSelectionSize = 16;

// The bytes of any image read while these are being noted: the settings text loads a page again
// only when a byte it read has changed. A raw pointer may reach every byte.
struct ImageReads {
  std::bitset<kImageSize> offsets;
  bool every = false;
};
inline thread_local ImageReads* tNotedImageReads = nullptr;

class PagerImage {
 public:
  PagerImage();  // the default image

  static PagerImage Defaults() { return PagerImage(); }

  uint8_t& operator[](int offset) {
    Note(offset);
    return bytes_[static_cast<size_t>(offset)];
  }
  uint8_t operator[](int offset) const {
    Note(offset);
    return bytes_[static_cast<size_t>(offset)];
  }
  uint8_t* data() {
    NoteEvery();
    return bytes_.data();
  }
  const uint8_t* data() const {
    NoteEvery();
    return bytes_.data();
  }
  static constexpr int size() { return kImageSize; }

  bool operator==(const PagerImage& other) const { return bytes_ == other.bytes_; }
  bool operator!=(const PagerImage& other) const { return !(*this == other); }

 private:
  static void Note(int offset) {
    if (tNotedImageReads) tNotedImageReads->offsets.set(static_cast<size_t>(offset));
  }
  static void NoteEvery() {
    if (tNotedImageReads) tNotedImageReads->every = true;
  }

  std::array<uint8_t, kImageSize> bytes_;
};

// Bytes 0-7: Auto Increment selection of capcodes 1-8; byte 8: keep the pager's serial number.
class SelectionState {
 public:
  SelectionState();  // the defaults

  static constexpr int kAutoIncrementDefault = 2;
  static constexpr int kKeepSerialByte = 8;

  int AutoIncrement(int row) const { return bytes_[static_cast<size_t>(row)]; }
  void SetAutoIncrement(int row, int index) { bytes_[static_cast<size_t>(row)] = static_cast<uint8_t>(index); }
  bool KeepSerial() const { return bytes_[kKeepSerialByte] != 0; }
  void SetKeepSerial(bool keep) { bytes_[kKeepSerialByte] = keep ? 1 : 0; }

  uint8_t& operator[](int i) { return bytes_[static_cast<size_t>(i)]; }
  uint8_t operator[](int i) const { return bytes_[static_cast<size_t>(i)]; }
  uint8_t* data() { return bytes_.data(); }
  const uint8_t* data() const { return bytes_.data(); }
  static constexpr int size() { return kSelectionSize; }

  bool operator==(const SelectionState& other) const { return bytes_ == other.bytes_; }
  bool operator!=(const SelectionState& other) const { return !(*this == other); }

 private:
  std::array<uint8_t, kSelectionSize> bytes_;
};

// What the program edits: the image and its selection block, replaced together by a data file.
struct PagerData {
  PagerImage image;
  SelectionState selection;
};

// XOR of a run of bytes: the data-file tag's check byte and the adapter frame's check byte.
uint8_t XorSum(const uint8_t* bytes, size_t count);

}  // namespace m84
