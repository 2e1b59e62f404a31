#include "gui/pages/general_page_widget.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include "gui/pages/control_factories.h"
#include "gui/pages/frequency_edit.h"

namespace m84 {

namespace {

using namespace general_key;

constexpr int kTipDelayMs = 100;
constexpr int kTimeEditWidth = 30;
constexpr int kReceiverFieldWidth = 80;
// Rows whose Private box the user may change: the public capcodes 4, 5 and 6.
constexpr bool kPrivateEditable[kCapcodeRowCount] = {false, false, false, true, true, true, false, false};

const QString kKeepSerialText = QStringLiteral("Don't write Serial Number         (Keep existing)");

}  // namespace

GeneralPageWidget::GeneralPageWidget(GeneralPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent), general_(model) {
  SetToolTipDelay(kTipDelayMs);
  auto* top = new QHBoxLayout;
  top->setSpacing(kControlSpacing * 2);
  top->addWidget(BuildCapcodeFrame(PrivateColumn::Shown, rows_), 0, Qt::AlignTop);
  for (const ControlRow& row : CapcodeControlRows(rows_, Rejected::TextStays, kCapcodeRowCount)) Declare(row);
  for (int row = 0; row < kCapcodeRowCount; ++row) rows_[size_t(row)].privateBox->setEnabled(kPrivateEditable[row]);

  auto* side = new QVBoxLayout;
  side->setSpacing(kControlSpacing * 2);
  side->addWidget(BuildReceiverFrame());
  side->addWidget(BuildManagementFrame());
  side->addStretch();
  top->addLayout(side);
  top->addStretch();

  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->addLayout(top);
  page->addStretch();
  page->addLayout(BuildLockedRow());
}

QWidget* GeneralPageWidget::BuildReceiverFrame() {
  auto* frame = new QGroupBox;
  auto* grid = new QGridLayout(frame);
  Compact(grid);

  auto* serial = TextEdit(kSerialSize);
  serial->setFixedWidth(kReceiverFieldWidth);
  keepSerial_ = new WrappingCheckBox(kKeepSerialText, QStringLiteral("Don't write Serial Number "));
  keepSerial_->setChecked(true);
  auto* frequency = new FrequencyEdit;
  frequency->setFixedWidth(kReceiverFieldWidth);
  auto* band = ReadOnlyEdit(kReceiverFieldWidth);
  QComboBox* baudRate = List(kBaudRate);
  QComboBox* polarity = List(kPolarity);

  grid->addWidget(CaptionLabel(kSerial), 0, 0);
  grid->addWidget(serial, 0, 1);
  grid->addWidget(keepSerial_, 1, 0, 1, 3);
  grid->addWidget(CaptionLabel(kFrequency), 2, 0);
  grid->addWidget(frequency, 2, 1);
  grid->addWidget(new QLabel(QStringLiteral("MHz")), 2, 2);
  grid->addWidget(new QLabel(QStringLiteral("Frequency Band")), 3, 0);
  grid->addWidget(band, 3, 1);
  grid->addWidget(CaptionLabel(kBaudRate), 4, 0);
  grid->addWidget(baudRate, 4, 1);
  grid->addWidget(CaptionLabel(kPolarity), 5, 0);
  grid->addWidget(polarity, 5, 1);

  Declare(Control(kSerial, serial).OnLeave(PadSerialNumber).ThenStore());
  Declare(Control(kKeepSerial, keepSerial_));
  Declare(Control(kFrequency, frequency)
              .Tip(kFrequencyTip)
              .Checked()
              .OnEdit(UpdateLiveBand)
              .OnLeave(ShowFrequencyBand)
              .ThenStore());
  Declare(Control(kBand, band).Named(QStringLiteral("Frequency Band")));
  Declare(Control(kBaudRate, baudRate));
  Declare(Control(kPolarity, polarity));
  return frame;
}

QWidget* GeneralPageWidget::BuildManagementFrame() {
  QGroupBox* frame = HorizontalFrame(QStringLiteral(" Capcode Management "));
  QPushButton* increment = PageButton(QStringLiteral("Manually Increment"));
  frame->layout()->addWidget(increment);
  Declare(Control(QStringLiteral("manuallyIncrement"), increment).OnClick(ManuallyIncrement));
  return frame;
}

QLayout* GeneralPageWidget::BuildLockedRow() {
  auto* bumpTime = new QLineEdit;
  auto* bsTime = new QLineEdit;
  QComboBox* pllDevice = List(kPllDevice);
  bumpTime->setFixedWidth(kTimeEditWidth);
  bsTime->setFixedWidth(kTimeEditWidth);
  Declare(Control(kBumpTime, bumpTime).Number().Checked().ThenStore().CheckOnCaptureLoss());
  Declare(Control(kBsTime, bsTime).Number().Checked().ThenStore());
  Declare(Control(kPllDevice, pllDevice));

  auto* row = new QHBoxLayout;
  row->setSpacing(kControlSpacing * 2);
  const std::array<std::pair<QString, QWidget*>, 3> controls = {
      {{kBumpTime, bumpTime}, {kBsTime, bsTime}, {kPllDevice, pllDevice}}};
  for (const auto& [key, control] : controls) {
    row->addWidget(CaptionLabel(key));
    row->addWidget(control);
    control->setEnabled(false);
    locked_.push_back(control);
  }
  row->addStretch();
  return row;
}

// A disabled control takes no mouse input of its own; the page watches it for the unlock.
bool GeneralPageWidget::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton && UnlockAt(mouse->globalPosition().toPoint())) return true;
  }
  return SettingsPage::eventFilter(watched, event);
}

void GeneralPageWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::RightButton && UnlockAt(event->globalPosition().toPoint())) {
    event->accept();
    return;
  }
  SettingsPage::mouseDoubleClickEvent(event);
}

bool GeneralPageWidget::UnlockAt(const QPoint& globalPosition) {
  for (QWidget* control : locked_) {
    const QRect screenRect(control->mapToGlobal(QPoint(0, 0)), control->size());
    if (control->isEnabled() || !screenRect.contains(globalPosition)) continue;
    TakeControls();
    control->setEnabled(true);
    control->show();
    control->setFocus(Qt::MouseFocusReason);
    ShowValues();
    return true;
  }
  return false;
}

}  // namespace m84
