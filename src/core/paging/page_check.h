#pragma once
// What a programmed pager does with a POCSAG page: whether it alerts and, where it stays silent,
// why (no row holds the capcode, the row is disabled, the receiver listens at another speed,
// polarity or frequency); where it alerts, which capcode row answers and what that row's
// settings on the Alerting, Tones, Cadence, Folders, Out of Range and Display pages make of the
// page. Every value is read through the page models' rows, as the window shows it.
//
//   const PageVerdict verdict = CheckPage(data, {1234567, PageFunction::D, PageContent::Text, "HELLO"});
//   for (const QString& line : verdict.Lines()) print(line);

#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "core/image/pager_image.h"
#include "core/pages/page_catalog.h"
#include "core/pages/page_model.h"

namespace m84::paging {

// The two function bits of a POCSAG address codeword; the pager's tone codes A to D.
enum class PageFunction { A, B, C, D };
enum class PocsagBaud { B512 = 512, B1200 = 1200, B2400 = 2400 };
enum class PocsagPolarity { Standard, Negative };
enum class PageContent { Tone, Numeric, Text };

constexpr int kPageFunctionCount = 4;

// What a paging system transmits on. A part left out is not checked.
struct Transmitter {
  std::optional<uint32_t> frequency;  // 100 Hz steps, as the pager holds its own
  std::optional<PocsagBaud> baud;
  std::optional<PocsagPolarity> polarity;
};

struct TestPage {
  int capcode = 0;
  PageFunction function = PageFunction::A;
  PageContent content = PageContent::Tone;
  QString message;  // the digits or the text; nothing for a tone page
  Transmitter transmitter;
};

struct PageVerdict {
  bool alerts = false;
  QStringList silence;     // why the pager stays silent, each reason found
  int row = -1;            // the capcode row that answers, from 0
  QStringList settings;    // what that row's settings make of the page
  QStringList mismatches;  // the pager alerts, but cannot show the page as it was meant

  // "alerts: ..." with the settings indented below it and the mismatches after, or one
  // "silent: ..." line per reason.
  QStringList Lines() const;
};

PageVerdict CheckPage(const PagerData& data, const TestPage& page);

// One capcode row of the General page.
struct CapcodeRow {
  int row = 0;  // from 0
  int capcode = 0;
  bool enabled = false;
  bool isPrivate = false;
};

// The pages a page check reads, loaded from one image.
class ProgrammedPager {
 public:
  explicit ProgrammedPager(const PagerData& data);
  ~ProgrammedPager();

  std::vector<CapcodeRow> CapcodeRows() const;
  // The receiver's differences from the transmitter, each in words after the sender's phrase:
  // "listens at 512 baud; the site sends at 1200" for sender "the site sends".
  QStringList ReceiverDifferences(const Transmitter& transmitter, const QString& sender) const;

  const PageModel& Page(PageId id) const;

 private:
  std::array<std::unique_ptr<PageModel>, kTabPageCount> pages_;
};

// The command line's and the window's words for the small types: "A" to "D", "512", "1200",
// "2400", "standard", "negative" (any letter case), a frequency in MHz with up to four decimals.
std::optional<PageFunction> PageFunctionNamed(const QString& name);
std::optional<PocsagBaud> PocsagBaudNamed(const QString& name);
std::optional<PocsagPolarity> PocsagPolarityNamed(const QString& name);
std::optional<uint32_t> FrequencyFromMegahertz(const QString& text);
QString PageFunctionLetter(PageFunction function);
QString PocsagPolarityName(PocsagPolarity polarity);
QString MegahertzText(uint32_t frequency);
// What a page is sent with when no function is given: text on D, digits and tone only on A, as
// paging terminals commonly send them.
PageFunction DefaultPageFunction(PageContent content);
// The characters a numeric page carries (four bits each).
extern const QString kNumericPageCharacters;

}  // namespace m84::paging
