#include "core/pages/basic_page.h"

#include <array>

#include "core/pages/capcode.h"
#include "core/pages/field_codecs.h"
#include "core/status_texts.h"

namespace m84 {

namespace {

using namespace basic_key;

// The password is kept masked so that it is not a plain string of the program file; it is
// unmasked only while a check runs.
constexpr uint8_t kPasswordMask = 0x5A;
constexpr std::array<uint8_t, kAdvancePasswordLength> kMaskedPassword = {0x17, 0x62, 0x6E, 0x09, 0x3F,
                                                                         0x28, 0x2C, 0x33, 0x39, 0x3F};

QString BuildAdvancePassword() {
  QString password;
  for (uint8_t masked : kMaskedPassword) password.append(QChar(masked ^ kPasswordMask));
  return password;
}

// A capcode row's line, under the section's column header: its switch, capcode and frame.
std::function<QStringList(const PageValues&)> CapcodeLine(int row) {
  return [row](const PageValues& values) {
    return QStringList{QString::asprintf(
        "   %d       %s    %07d    %d", row + 1, qPrintable(OnOffText(values.Flag(capcode_key::Enable(row)))),
        values.Number(capcode_key::Capcode(row)), values.Number(capcode_key::Frame(row)))};
  };
}

// The capcode table heads the report, ahead of the texts that come first in the table.
QStringList ReportOrder() {
  QStringList keys;
  for (int row = 0; row < kCapcodeRowCount; ++row) keys << capcode_key::Capcode(row);
  return keys << kStartupText << kShowDate << kShowTime << kStandbyText1 << kAlternativeScreen;
}

}  // namespace

const QString kBasicTextHint = QStringLiteral("Enter up to 15 alphanumeric characters");
const QString kPasswordErrorMessage = kAdvancePasswordError;

bool StandbyText1Enabled(bool showDate, bool alternativeScreen) { return !showDate || alternativeScreen; }
bool StandbyText2Enabled(bool alternativeScreen) { return alternativeScreen; }

bool ShowsStandbyText1(const PageValues& values) {
  return StandbyText1Enabled(values.Flag(basic_key::kShowDate), values.Flag(basic_key::kAlternativeScreen));
}
bool ShowsStandbyText2(const PageValues& values) {
  return StandbyText2Enabled(values.Flag(basic_key::kAlternativeScreen));
}

bool IsAdvancePassword(const QString& text) {
  const QString password = BuildAdvancePassword();
  if (text.size() != password.size()) return false;
  for (int i = 0; i < password.size(); ++i)
    if (text[i].unicode() != password[i].unicode()) return false;
  return true;
}

BindingTable BasicPageSwitches() {
  BindingTable table;
  table.push_back(field::Flag(kShowDate, image_map::kShowDate)
                      .Labelled(QStringLiteral("Display current date"))
                      .Reported(QStringLiteral("Display current Date: %1"), Wording::YesNo));
  table.push_back(field::Flag(kShowTime, image_map::kShowTime)
                      .Labelled(QStringLiteral("Display current time"))
                      .Reported(QStringLiteral("Display current Time: %1"), Wording::YesNo));
  table.push_back(field::Flag(kAlternativeScreen, image_map::kAlternativeScreen)
                      .Labelled(QStringLiteral("Display alternative screen"))
                      .Reported(QStringLiteral("Display alternative screen: %1"), Wording::YesNo));
  return table;
}

bool BasicPageModel::PasswordAccepted() const { return IsAdvancePassword(Values().Text(kPassword)); }

BindingTable BasicPageModel::Bindings() const {
  BindingTable table;
  BindingTable texts = DisplayTexts();
  texts[0].form.label.clear();  // the frame's caption says it
  texts[1].Labelled(QStringLiteral("Standby text 1st line")).form.caption.clear();
  texts[2].Labelled(QStringLiteral("Standby text 2nd line")).form.caption.clear();
  for (FieldBinding& binding : texts) table.push_back(std::move(binding));
  // The Private bit and bits 0x30 of each capcode's first byte belong to other pages; the
  // capcode codec keeps them.
  for (int row = 0; row < kCapcodeRowCount; ++row)
    table.push_back(field::InvertedFlag(capcode_key::Enable(row), CapcodeFieldOffset(row), kCapcodeEnableBit));
  for (int row = 0; row < kCapcodeRowCount; ++row)
    table.push_back(field::Capcode(capcode_key::Capcode(row), row).ReportedBy(CapcodeLine(row)));
  for (FieldBinding& binding : BasicPageSwitches()) table.push_back(std::move(binding));
  for (int row = 0; row < kCapcodeRowCount; ++row)
    table.push_back(field::SelectionIndex(capcode_key::Step(row), row, int(kAutoIncrementEntries.size()),
                                          SelectionState::kAutoIncrementDefault));
  return table;
}

void BasicPageModel::LoadRules(const PagerData& /*data*/) {
  RecomputeFrames(Values());
  // The password is no field of the image: it starts empty and keeps what was typed.
  if (!Values().Has(kPassword)) Values().Set(kPassword, QString());
}

void BasicPageModel::StoreRules(PagerData& /*data*/) {
  RecomputeFrames(Values());  // a capcode out of range was stored as the nearest valid one
}

void BasicPageModel::PrintSection(ReportCursor& report) const {
  report.PrintLine(QStringLiteral("[Main]"));
  report.PrintLine(QStringLiteral("Number  Enable  Capcode  Frame"));
  PrintRows(report, ReportOrder());
}

}  // namespace m84
