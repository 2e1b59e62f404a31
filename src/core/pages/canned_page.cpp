#include "core/pages/canned_page.h"

#include "core/pages/field_codecs.h"

namespace m84 {

namespace {

using namespace canned_key;

QString CannedLine(const PageValues& v, int n) {
  // One-digit numbers take a second blank after the colon, so the brackets line up.
  const QString format = n < 10 ? QStringLiteral("  Canned-%1:  [%2]") : QStringLiteral("  Canned-%1: [%2]");
  return format.arg(QString::number(n), v.Text(Canned(n)));
}

// The flag with the password it asks for.
QStringList RequirePasswordLine(const PageValues& v) {
  return {
      QStringLiteral("Require password: %1  password[%2]").arg(YesNoText(v.Flag(kRequirePassword)), v.Text(kPassword))};
}

}  // namespace

const QString kCannedTextHint = QStringLiteral("Enter up to 30 alphanumeric characters");
const QString kHandPasswordHint = QStringLiteral("Enter up to 4 digits");

BindingTable CannedPageModel::Bindings() const {
  BindingTable table;
  table.push_back(field::Flag(kHandProgramming, image_map::kHandProgramming)
                      .Labelled(QStringLiteral("Hand programming Enable"))
                      .Captioned(QStringLiteral("Enable"))
                      .Reported(QStringLiteral("Hand programming: %1"), Wording::EnableDisable));
  table.push_back(field::Flag(kRequirePassword, image_map::kRequirePassword)
                      .Labelled(QStringLiteral("Require password"))
                      .EnabledWhen(RequirePasswordEnabled)
                      .ReportedBy(RequirePasswordLine));
  table.push_back(field::FixedText(kPassword, image_map::kHandPassword)
                      .Labelled(QStringLiteral("Password"))
                      .Accepting(HoldsDigitsOnly, kDigitsOnlyMessage)
                      .Hinted(kHandPasswordHint)
                      .EnabledWhen(HandPasswordEnabled));
  table.push_back(field::Flag(kCannedEnable, image_map::kCannedEnable)
                      .Labelled(QStringLiteral("Canned message Enable"))
                      .Captioned(QStringLiteral("Enable"))
                      .Reported(QStringLiteral("Canned message: %1"), Wording::EnableDisable));
  for (int n = 1; n <= kCannedCount; ++n)
    table.push_back(field::FixedText(Canned(n), image_map::kCannedTexts, n - 1)
                        .Labelled(QStringLiteral("Canned message %1").arg(n))
                        .Captioned(QString::number(n))
                        .Hinted(kCannedTextHint)
                        .EnabledWhen(CannedTextsEnabled));
  return table;
}

void CannedPageModel::PrintSection(ReportCursor& report) const {
  const PageValues& v = Values();
  report.PrintLine(QStringLiteral("[Hand Program & Canned MSG]"));
  PrintRows(report);
  const int firstRow = report.LinePosition();
  for (int n = 1; n <= kCannedRows; ++n) report.PrintLine(CannedLine(v, n));
  report.ReturnToLine(firstRow);
  for (int n = kCannedRows + 1; n <= kCannedCount; ++n) {
    report.y += report.lineHeight;
    report.DrawColumn(kCannedRightColumn, CannedLine(v, n));
  }
}

}  // namespace m84
