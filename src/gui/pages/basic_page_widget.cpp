#include "gui/pages/basic_page_widget.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

using namespace basic_key;

constexpr int kTipDelayMs = 1000;
constexpr int kTippedCapcodeRows = 6;  // rows 7 and 8 have no tip
constexpr int kOkButtonWidth = 40;

}  // namespace

BasicPageWidget::BasicPageWidget(BasicPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent), basic_(model) {
  SetToolTipDelay(kTipDelayMs);
  QWidget* capcodes = BuildCapcodeFrame(PrivateColumn::Absent, rows_);
  // The page keeps the last capcode that passed the check; a rejected text gives way to it.
  for (const ControlRow& row : CapcodeControlRows(rows_, Rejected::LastValidBack, kTippedCapcodeRows)) Declare(row);

  auto* side = new QVBoxLayout;
  side->setSpacing(kControlSpacing * 2);
  side->addWidget(BuildManagementFrame());
  side->addWidget(BuildStartupFrame());
  side->addWidget(BuildStandbyFrame());
  side->addWidget(BuildPasswordFrame());
  side->addStretch();

  auto* page = new QHBoxLayout(this);
  Compact(page);
  page->setSpacing(kControlSpacing * 2);
  page->addWidget(capcodes, 0, Qt::AlignTop);
  page->addLayout(side);
}

QWidget* BasicPageWidget::BuildManagementFrame() {
  QGroupBox* frame = HorizontalFrame(QStringLiteral(" Capcode Management "));
  QPushButton* increment = PageButton(QStringLiteral("Manually Increment"));
  frame->layout()->addWidget(increment);
  Declare(Control(QStringLiteral("manuallyIncrement"), increment).OnClick(ManuallyIncrement));
  return frame;
}

QWidget* BasicPageWidget::BuildStartupFrame() {
  QGroupBox* frame = VerticalFrame(QStringLiteral(" Start up Text "));
  frame->layout()->addWidget(Made(kStartupText));
  return frame;
}

QWidget* BasicPageWidget::BuildStandbyFrame() {
  QGroupBox* frame = VerticalFrame(QStringLiteral(" Standby Text "));
  QLayout* layout = frame->layout();
  layout->addWidget(Made(kShowDate));
  layout->addWidget(Made(kShowTime));
  layout->addWidget(CaptionLabel(kStandbyText1));
  layout->addWidget(Made(kStandbyText1));
  layout->addWidget(Made(kAlternativeScreen));
  layout->addWidget(CaptionLabel(kStandbyText2));
  layout->addWidget(Made(kStandbyText2));
  return frame;
}

QWidget* BasicPageWidget::BuildPasswordFrame() {
  QGroupBox* frame = HorizontalFrame(QStringLiteral(" Advance setting password  "));
  password_ = TextEdit(kAdvancePasswordLength);
  password_->setEchoMode(QLineEdit::Password);
  QPushButton* ok = PageButton(QStringLiteral("OK"));
  ok->setFixedWidth(kOkButtonWidth);
  frame->layout()->addWidget(password_);
  frame->layout()->addWidget(ok);
  Declare(Control(kPassword, password_));
  Declare(Control(QStringLiteral("passwordOk"), ok));
  connect(ok, &QPushButton::clicked, this, &BasicPageWidget::CheckPassword);
  return frame;
}

void BasicPageWidget::HandleEnterKey() {
  if (QApplication::focusWidget() != password_) return SettingsPage::HandleEnterKey();
  ExchangeImage(Direction::Store);
  CheckPassword();
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
