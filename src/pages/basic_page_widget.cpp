#include "pages/basic_page_widget.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "pages/delayed_tips.h"

namespace m84 {

namespace {

using namespace basic_key;

constexpr int kTipDelayMs = 1000;
constexpr int kTippedCapcodeRows = 6;  // rows 7 and 8 have no tip
constexpr int kMargin = 4;
constexpr int kSpacing = 2;
constexpr int kOkButtonWidth = 40;

void Compact(QLayout* layout) {
  layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
  layout->setSpacing(kSpacing);
}

QLineEdit* TextEdit(int maxLength, const QString& name) {
  auto* edit = new QLineEdit;
  edit->setMaxLength(maxLength);
  edit->setObjectName(name);
  return edit;
}

QCheckBox* CheckBox(const QString& text, const QString& name) {
  auto* box = new QCheckBox(text);
  box->setObjectName(name);
  return box;
}

QPushButton* Button(const QString& text, const QString& name) {
  auto* button = new QPushButton(text);
  button->setAutoDefault(false);  // Enter belongs to the page
  button->setObjectName(name);
  return button;
}

}  // namespace

BasicPageWidget::BasicPageWidget(BasicPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent), basic_(model), tips_(new DelayedTips(kTipDelayMs, this)) {
  auto* side = new QVBoxLayout;
  side->setSpacing(kSpacing * 2);
  side->addWidget(BuildManagementFrame());
  side->addWidget(BuildStartupFrame());
  side->addWidget(BuildStandbyFrame());
  side->addWidget(BuildPasswordFrame());
  side->addStretch();

  auto* page = new QHBoxLayout(this);
  Compact(page);
  page->setSpacing(kSpacing * 2);
  page->addWidget(BuildCapcodeFrame(PrivateColumn::Absent, rows_), 0, Qt::AlignTop);
  page->addLayout(side);

  for (int row = 0; row < kCapcodeRowCount; ++row) {
    SetHint(rows_[size_t(row)].capcode, kCapcodeHint);
    if (row < kTippedCapcodeRows) tips_->Add(rows_[size_t(row)].capcode, CapcodeTip(row));
  }
  BindControls();
  ConnectHandlers();
  UpdateEnables();
}

QWidget* BasicPageWidget::BuildManagementFrame() {
  auto* frame = new QGroupBox(QStringLiteral(" Capcode Management "));
  auto* layout = new QHBoxLayout(frame);
  Compact(layout);
  increment_ = Button(QStringLiteral("Manually Increment"), QStringLiteral("manuallyIncrement"));
  layout->addWidget(increment_);
  return frame;
}

QWidget* BasicPageWidget::BuildStartupFrame() {
  auto* frame = new QGroupBox(QStringLiteral(" Start up Text "));
  auto* layout = new QVBoxLayout(frame);
  Compact(layout);
  startupText_ = TextEdit(kBasicTextLength, kStartupText);
  layout->addWidget(startupText_);
  SetHint(startupText_, kBasicTextHint);
  return frame;
}

QWidget* BasicPageWidget::BuildStandbyFrame() {
  auto* frame = new QGroupBox(QStringLiteral(" Standby Text "));
  auto* layout = new QVBoxLayout(frame);
  Compact(layout);
  showDate_ = CheckBox(QStringLiteral("Display current date"), kShowDate);
  showTime_ = CheckBox(QStringLiteral("Display current time"), kShowTime);
  standbyText1_ = TextEdit(kBasicTextLength, kStandbyText1);
  alternativeScreen_ = CheckBox(QStringLiteral("Display alternative screen"), kAlternativeScreen);
  standbyText2_ = TextEdit(kBasicTextLength, kStandbyText2);

  layout->addWidget(showDate_);
  layout->addWidget(showTime_);
  layout->addWidget(new QLabel(QStringLiteral("Standby text 1st line")));
  layout->addWidget(standbyText1_);
  layout->addWidget(alternativeScreen_);
  layout->addWidget(new QLabel(QStringLiteral("Standby text 2nd line")));
  layout->addWidget(standbyText2_);
  SetHint(standbyText1_, kBasicTextHint);
  SetHint(standbyText2_, kBasicTextHint);
  return frame;
}

QWidget* BasicPageWidget::BuildPasswordFrame() {
  auto* frame = new QGroupBox(QStringLiteral(" Advance setting password  "));
  auto* layout = new QHBoxLayout(frame);
  Compact(layout);
  password_ = TextEdit(kAdvancePasswordLength, kPassword);
  password_->setEchoMode(QLineEdit::Password);
  ok_ = Button(QStringLiteral("OK"), QStringLiteral("passwordOk"));
  ok_->setFixedWidth(kOkButtonWidth);
  layout->addWidget(password_);
  layout->addWidget(ok_);
  return frame;
}

void BasicPageWidget::BindControls() {
  for (int row = 0; row < kCapcodeRowCount; ++row) {
    const CapcodeRow& r = rows_[size_t(row)];
    Bind(capcode_key::Enable(row), r.enableBox);
    BindNumber(capcode_key::Capcode(row), r.capcode);
    Bind(capcode_key::Step(row), r.step);
    BindNumber(capcode_key::Frame(row), r.frame);
  }
  Bind(kStartupText, startupText_);
  Bind(kShowDate, showDate_);
  Bind(kShowTime, showTime_);
  Bind(kStandbyText1, standbyText1_);
  Bind(kAlternativeScreen, alternativeScreen_);
  Bind(kStandbyText2, standbyText2_);
  Bind(kPassword, password_);
}

void BasicPageWidget::ConnectHandlers() {
  FollowCapcodeRows(*this, rows_, [this] { UpdateEnables(); });
  for (const CapcodeRow& r : rows_) r.capcode->installEventFilter(this);
  connect(showDate_, &QCheckBox::clicked, this, &BasicPageWidget::OnDisplayOptionClicked);
  connect(alternativeScreen_, &QCheckBox::clicked, this, &BasicPageWidget::OnDisplayOptionClicked);
  connect(increment_, &QPushButton::clicked, this, &BasicPageWidget::OnManuallyIncrement);
  connect(ok_, &QPushButton::clicked, this, &BasicPageWidget::CheckPassword);
}

void BasicPageWidget::UpdateEnables() {
  EnableCapcodeEdits(rows_, Values());
  const bool alternative = Values().Flag(kAlternativeScreen);
  standbyText1_->setEnabled(StandbyText1Enabled(Values().Flag(kShowDate), alternative));
  standbyText2_->setEnabled(StandbyText2Enabled(alternative));
}

void BasicPageWidget::OnDisplayOptionClicked() {
  TakeControls();
  UpdateEnables();
  ShowValues();
}

void BasicPageWidget::OnManuallyIncrement() {
  TakeControls();
  ManuallyIncrement(Values());
  ShowValues();
}

bool BasicPageWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && IsUserFocusChange(event) && !checking_) {
    const int row = CapcodeRowOf(rows_, watched);
    if (row >= 0) {
      // A failed check gives the focus back, which reports another focus change; that one is no
      // user's leaving.
      checking_ = true;
      CheckCapcode(row);
      checking_ = false;
    }
  }
  return SettingsPage::eventFilter(watched, event);
}

// Unlike the General page, the variable keeps the last capcode that passed the live check, so a
// rejected text gives way to it.
void BasicPageWidget::CheckCapcode(int row) {
  QLineEdit* edit = rows_[size_t(row)].capcode;
  if (CheckCapcodeText(edit->text()))
    TakeControls();
  else
    RejectEdit(edit, kCapcodeRangeMessage);
}

void BasicPageWidget::HandleEnterKey() {
  // A store would take a rejected capcode as it stands; Enter in such an edit is answered as
  // leaving it would be.
  const int row = CapcodeRowOf(rows_, focusWidget());
  if (row >= 0 && !CheckCapcodeText(rows_[size_t(row)].capcode->text())) {
    CheckCapcode(row);
    return;
  }
  ExchangeImage(Direction::Store);
  if (focusWidget() == password_) {
    CheckPassword();
    return;
  }
  focusNextChild();
  ExchangeImage(Direction::Load);
}

// The password edit keeps its text whatever the outcome.
void BasicPageWidget::CheckPassword() {
  TakeControls();
  if (!basic_.PasswordAccepted()) {
    Host().ShowStatus(kPasswordErrorMessage);
    Host().Sound(Beep::Error);
    return;
  }
  ExchangeImage(Direction::Store);
  Host().RequestAdvancedMode();
  Host().ShowStatus(QString());
}

}  // namespace m84
