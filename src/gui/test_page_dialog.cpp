#include "gui/test_page_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/pages/capcode.h"
#include "core/paging/page_check.h"

namespace m84 {

namespace {

using namespace paging;

// The first entry of the transmitter's lists leaves that part unchecked.
const QString kNotChecked = QStringLiteral("Not checked");
const QStringList kContentEntries = {QStringLiteral("Tone only"), QStringLiteral("Numeric"), QStringLiteral("Text")};
constexpr PageContent kContents[] = {PageContent::Tone, PageContent::Numeric, PageContent::Text};
const QString kSiteFilter = QStringLiteral("Site Profile (*.yaml *.yml);;All File (*.*)");
const QString kNoSite = QStringLiteral("None");
const QString kRefusedSettings =
    QStringLiteral("The settings on screen hold a value the window refuses: mend it, then check again.");

QComboBox* List(const QStringList& entries, const QString& name, QWidget* parent) {
  auto* list = new QComboBox(parent);
  list->addItems(entries);
  list->setAccessibleName(name);
  return list;
}

QLineEdit* Edit(const QString& name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setAccessibleName(name);
  return edit;
}

}  // namespace

TestPageDialog::TestPageDialog(Settings settings, std::shared_ptr<FileDialogs> dialogs, QWidget* parent)
    : QDialog(parent), settings_(std::move(settings)), dialogs_(std::move(dialogs)) {
  setWindowTitle(QStringLiteral("Test Page"));
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  capcode_ = Edit(QStringLiteral("Capcode"), this);
  capcode_->setPlaceholderText(kCapcodeHint);
  function_ = List({}, QStringLiteral("Function"), this);
  for (int function = 0; function < kPageFunctionCount; ++function)
    function_->addItem(PageFunctionLetter(PageFunction(function)));
  content_ = List(kContentEntries, QStringLiteral("Page"), this);
  message_ = Edit(QStringLiteral("Message"), this);
  baud_ = List({kNotChecked}, QStringLiteral("Baud rate"), this);
  for (PocsagBaud baud : {PocsagBaud::B512, PocsagBaud::B1200, PocsagBaud::B2400})
    baud_->addItem(QString::number(int(baud)));
  polarity_ = List({kNotChecked}, QStringLiteral("POCSAG polarity"), this);
  for (PocsagPolarity polarity : {PocsagPolarity::Standard, PocsagPolarity::Negative})
    polarity_->addItem(PocsagPolarityName(polarity));
  frequency_ = Edit(QStringLiteral("Frequency"), this);
  frequency_->setPlaceholderText(QStringLiteral("MHz; empty: not checked"));
  form->addRow(QStringLiteral("&Capcode:"), capcode_);
  form->addRow(QStringLiteral("&Function:"), function_);
  form->addRow(QStringLiteral("&Page:"), content_);
  form->addRow(QStringLiteral("&Message:"), message_);
  form->addRow(QStringLiteral("&Baud rate:"), baud_);
  form->addRow(QStringLiteral("P&olarity:"), polarity_);
  form->addRow(QStringLiteral("F&requency:"), frequency_);
  siteLabel_ = new QLabel(kNoSite, this);
  siteLabel_->setAccessibleName(QStringLiteral("Site profile"));
  form->addRow(QStringLiteral("Site:"), siteLabel_);
  layout->addLayout(form);
  verdict_ = new QPlainTextEdit(this);
  verdict_->setReadOnly(true);
  verdict_->setAccessibleName(QStringLiteral("Verdict"));
  verdict_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  verdict_->setLineWrapMode(QPlainTextEdit::NoWrap);
  verdict_->setMinimumSize(560, 220);
  layout->addWidget(verdict_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  check_ = buttons->addButton(QStringLiteral("C&heck"), QDialogButtonBox::ActionRole);
  check_->setDefault(true);
  QPushButton* site = buttons->addButton(QStringLiteral("&Site Profile..."), QDialogButtonBox::ActionRole);
  connect(site, &QPushButton::clicked, this, &TestPageDialog::ChooseSite);
  connect(check_, &QPushButton::clicked, this, &TestPageDialog::Check);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  connect(content_, &QComboBox::currentIndexChanged, this, &TestPageDialog::ContentChanged);
  ContentChanged();
}

QString TestPageDialog::Verdict() const { return verdict_->toPlainText(); }

// A tone-only page has no message; the function follows what paging terminals send the kind on.
void TestPageDialog::ContentChanged() {
  const PageContent content = kContents[content_->currentIndex()];
  message_->setEnabled(content != PageContent::Tone);
  function_->setCurrentIndex(int(DefaultPageFunction(content)));
}

void TestPageDialog::Check() {
  alerts_ = false;
  TestPage page;
  bool number = false;
  const long long capcode = capcode_->text().trimmed().toLongLong(&number);
  if (!number || !IsValidCapcode(capcode)) return Show(kCapcodeRangeMessage);
  page.capcode = int(capcode);
  page.function = PageFunction(function_->currentIndex());
  page.content = kContents[content_->currentIndex()];
  if (page.content != PageContent::Tone) page.message = message_->text();
  // What the box leaves unchecked, the site's profile gives.
  if (site_) page.transmitter = site_->transmitter;
  if (baud_->currentIndex() > 0) page.transmitter.baud = PocsagBaudNamed(baud_->currentText());
  if (polarity_->currentIndex() > 0) page.transmitter.polarity = PocsagPolarityNamed(polarity_->currentText());
  if (!frequency_->text().trimmed().isEmpty()) {
    page.transmitter.frequency = FrequencyFromMegahertz(frequency_->text());
    if (!page.transmitter.frequency)
      return Show(QStringLiteral("The frequency is in MHz, with up to four decimals: 457.575"));
  }
  const std::optional<PagerData> data = settings_();
  if (!data) return Show(kRefusedSettings);
  const PageVerdict verdict = CheckPage(*data, page);
  QStringList lines = verdict.Lines();
  const QStringList unheard = site_ ? SiteFindings(*data, *site_) : QStringList();
  for (const QString& finding : unheard) lines << QStringLiteral("site: ") + finding;
  alerts_ = verdict.alerts && unheard.isEmpty();
  Show(lines.join(QLatin1Char('\n')));
}

void TestPageDialog::ChooseSite() {
  const QString path = dialogs_->OpenFileName(this, QStringLiteral("Site Profile"), kSiteFilter);
  if (path.isEmpty()) return;
  Result<SiteProfile> site = LoadSiteProfile(path);
  if (!site) {
    site_.reset();
    siteLabel_->setText(kNoSite);
    return Show(site.failure().reason);
  }
  site_ = std::move(site).value();
  const QString file = QFileInfo(path).fileName();
  siteLabel_->setText(site_->name.isEmpty() ? file : QStringLiteral("%1 (%2)").arg(site_->name, file));
}

void TestPageDialog::Show(const QString& text) { verdict_->setPlainText(text); }

}  // namespace m84
