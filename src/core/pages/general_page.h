#pragma once
// The General page without its controls: the eight capcodes, the receive frequency with the
// synthesizer words computed from it, baud rate and polarity, the serial number and the switch
// that keeps the pager's own serial number on a write.

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <optional>

#include "core/pages/page_model.h"

namespace m84 {

// Image fields of the page.
constexpr int kFrequencyOffset = 0x42;  // packed BCD, 100 Hz units
constexpr int kFrequencySize = 4;
constexpr int kSynthesizerOffset = 0x47;  // 0x47-0x4D; nothing past it is ever written
constexpr int kSynthesizerSize = 7;
constexpr int kIntermediateOffset = 0x4E;  // Hz, least significant byte first, read only
constexpr int kReferenceOffset = 0x52;     // Hz, least significant byte first, read only
constexpr int kBumpTimeOffset = 0x66;
constexpr int kBsTimeOffset = 0x67;
constexpr int kReceiverOptionsOffset = 0x68;
constexpr uint8_t kBaudRateMask = 0x03;
constexpr uint8_t kPllDeviceBit = 0x40;
constexpr uint8_t kPolarityBit = 0x80;
constexpr int kSerialOffset = 0x548;
constexpr int kSerialSize = 10;

// Frequency texts are ddd.dddd: seven digits around a point that is never looked at.
constexpr int kFrequencyTextLength = 8;
constexpr int kFrequencyPointPosition = 3;
constexpr int kFrequencyEditMaxLength = 12;

constexpr int kTimeMin = 1;  // "Bump Time" and "BS Time"
constexpr int kTimeMax = 63;

// Page variables.
namespace general_key {
inline const QString kSerial = QStringLiteral("serial");
inline const QString kKeepSerial = QStringLiteral("keepSerial");
inline const QString kFrequency = QStringLiteral("frequency");
inline const QString kBand = QStringLiteral("band");
inline const QString kBaudRate = QStringLiteral("baudRate");
inline const QString kPolarity = QStringLiteral("polarity");
inline const QString kPllDevice = QStringLiteral("pllDevice");
inline const QString kBumpTime = QStringLiteral("bumpTime");
inline const QString kBsTime = QStringLiteral("bsTime");
}  // namespace general_key

// List entries, in the order the lists show them.
extern const QStringList kBaudRateEntries;
extern const QStringList kPolarityEntries;

// Fixed texts of the page.
extern const QString kInvalidBandText;
extern const QString kFrequencyErrorMessage;
extern const QString kBumpTimeMessage;
extern const QString kBsTimeMessage;
extern const QString kSerialHint;
extern const QString kFrequencyTip;

// While typing a blank is no digit; on leaving the edit and on a store it counts as 0.
enum class BlankDigit { Invalid, Zero };
// f in 100 Hz steps from positions 0-2 and 4-7; nothing for a shorter text or a non-digit.
std::optional<uint32_t> ReadFrequencyText(const QString& text, BlankDigit blank);
// "%3ld.%04ld"
QString FrequencyText(uint32_t f);
// On a 3.125 kHz, 2.5 kHz or 2.0 kHz raster.
bool IsOnChannelRaster(uint32_t f);
// The band name shown while typing, or "Invalid Value".
QString LiveBandText(const QString& text);

// The page's rules on its variables, for the widget's handlers.
// The frequency text changed: the band it lies in, or "Invalid Value".
void UpdateLiveBand(PageValues& values);
// The frequency check on leaving the edit: a text in a band and on the channel raster.
bool IsAcceptedFrequencyText(const QString& text);
// The band of the frequency variable, when it lies in one.
void ShowFrequencyBand(PageValues& values);
// What the serial number edit lets through: up to ten digits.
bool IsSerialNumberText(const QString& text);
// "0"s appended to the serial number up to ten characters.
void PadSerialNumber(PageValues& values);

enum class PllDevice { Pll5170, Pll8108 };
using SynthesizerBlock = std::array<uint8_t, kSynthesizerSize>;
// The programming words for 0x47-0x4D; nothing when f lies in no band.
std::optional<SynthesizerBlock> ComputeSynthesizerBlock(uint32_t f, uint32_t intermediateHz, uint32_t referenceHz,
                                                        PllDevice device);

class GeneralPageModel : public PageModel {
 public:
  GeneralPageModel() : PageModel(PageId::General) {}

  void PrintSection(ReportCursor& report) const override;

  // What the pager write asks: keep the serial number already in the pager. Set until the page
  // is first loaded, so a write from basic mode keeps it.
  bool KeepSerialNumber() const;

  // The rules behind the page's handlers, on the variables alone; the widget takes its controls
  // before and shows the variables after.
  void UpdateLiveBand();  // the frequency text changed
  // The frequency edit lost the focus: true when the text is accepted (the caller then stores
  // the page). Sets the band text whenever the frequency lies in a band.
  bool CheckFrequency();
  // The serial number edit lost the focus: "0"s appended up to ten characters.
  void PadSerialNumber();

 protected:
  BindingTable Bindings() const override;
  void LoadRules(const PagerData& data) override;
  void StoreRules(PagerData& data) override;

 private:
  void StoreFrequency(PagerData& data);
};

}  // namespace m84
