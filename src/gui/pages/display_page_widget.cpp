#include "gui/pages/display_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>
#include <iterator>

#include "core/pages/voltage_code.h"
#include "gui/pages/control_factories.h"
#include "gui/pages/voltage_edit.h"

namespace m84 {

namespace {

using namespace basic_key;
using namespace display_key;

constexpr int kVoltageEditWidth = 44;

const QString kOptionBoxes[] = {kPreviewMode,   kSmallText,       kTimeStamp,
                                kMessageNumber, kAddressFunction, kMaxMessagesAlert};
const QString kBatteryBoxes[] = {kLowBatteryAlarm, kLowBatteryDisplay, kLowBatteryVibrate};
const char* const kBatteryMarkLabels[] = {"High", "Middle", "Low"};
const QString kMessageLists[] = {kStoredMessages, kNumberMode, kNumberOrder};
const QString kLcdLists[] = {kDisplayTime, kContrast};

QLabel* Label(const char* text) { return new QLabel(QString::fromLatin1(text)); }

}  // namespace

// Each list beside its label, in a frame.
void DisplayPageWidget::PlaceLists(QGroupBox* frame, const QString* keys, int count) {
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  grid->setColumnStretch(2, 1);
  for (int at = 0; at < count; ++at) {
    QComboBox* list = List(keys[at]);
    grid->addWidget(CaptionLabel(keys[at]), at, 0);
    grid->addWidget(list, at, 1);
    Declare(Control(keys[at], list));
  }
}

DisplayPageWidget::DisplayPageWidget(DisplayPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent), display_(model) {
  auto* left = new QVBoxLayout;
  left->setSpacing(kControlSpacing * 2);
  left->addLayout(BuildTexts());
  left->addWidget(BuildOptionsFrame());
  left->addStretch();

  auto* right = new QVBoxLayout;
  right->setSpacing(kControlSpacing * 2);
  right->addWidget(BuildBatteryFrame());
  right->addWidget(BuildMessagesFrame());
  right->addWidget(BuildLcdFrame());
  right->addStretch();

  QGroupBox* screen = HorizontalFrame(QStringLiteral(" Startup Screen "));
  auto* columns = static_cast<QHBoxLayout*>(screen->layout());
  columns->setSpacing(kControlSpacing * 3);
  columns->addLayout(left);
  columns->addLayout(right);

  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->addWidget(screen);
  page->addStretch();
}

QLayout* DisplayPageWidget::BuildTexts() {
  auto* grid = new QGridLayout;
  grid->setSpacing(kControlSpacing);
  grid->addWidget(CaptionLabel(kStartupText), 0, 0, 1, 2);
  grid->addWidget(Made(kStartupText), 0, 2);
  grid->addWidget(Label("Standby Text"), 1, 0);
  Place(grid, kStandbyText1, 1, 1);
  Place(grid, kStandbyText2, 2, 1);
  return grid;
}

QWidget* DisplayPageWidget::BuildOptionsFrame() {
  QGroupBox* frame = VerticalFrame(QStringLiteral(" Options "));
  for (const QString& key : kOptionBoxes) Place(frame->layout(), key);
  Place(frame->layout(), kDateFormat);
  return frame;
}

QWidget* DisplayPageWidget::BuildBatteryFrame() {
  QGroupBox* frame = VerticalFrame(QStringLiteral(" Battery "));
  auto* layout = static_cast<QVBoxLayout*>(frame->layout());
  // Two to a row, the voltage marks' caption last: the page has more width to spare than height.
  auto* boxes = new QGridLayout;
  boxes->setSpacing(kControlSpacing);
  for (int i = 0; i < int(std::size(kBatteryBoxes)); ++i) {
    QCheckBox* box = CheckBox(kBatteryBoxes[i]);
    boxes->addWidget(box, i / 2, i % 2);
    Declare(Control(kBatteryBoxes[i], box));
  }
  boxes->addWidget(Label("Voltage for battery mark"), 1, 1);
  layout->addLayout(boxes);
  auto* marks = new QHBoxLayout;
  marks->setSpacing(kControlSpacing);
  for (BatteryMark mark : kBatteryMarks) {
    const int at = static_cast<int>(mark);
    auto* edit = new VoltageEdit;
    edit->setFixedWidth(kVoltageEditWidth);
    marks->addWidget(Label(kBatteryMarkLabels[at]));
    marks->addWidget(edit);
    marks->addWidget(Label("V"));
    marks->addSpacing(kControlSpacing * 3);
    // A rejected voltage brings back the text the edit had when the user entered it, silently
    // but for the beep.
    Declare(Control(Voltage(mark), edit)
                .OnEnter([this, mark](PageValues&) { display_.RememberVoltage(mark); })
                .Checked(Rejected::LastValidBack)
                .Silently()
                .OnLeave([this, mark](PageValues&) { display_.RememberVoltage(mark); })
                .OnReject([this, mark](PageValues&) { display_.RestoreVoltage(mark); })
                .ThenStore());
  }
  marks->addStretch();
  layout->addLayout(marks);
  return frame;
}

QWidget* DisplayPageWidget::BuildMessagesFrame() {
  auto* frame = new QGroupBox(QStringLiteral(" Messages "));
  PlaceLists(frame, kMessageLists, int(std::size(kMessageLists)));
  return frame;
}

QWidget* DisplayPageWidget::BuildLcdFrame() {
  auto* frame = new QGroupBox(QStringLiteral(" LCD "));
  PlaceLists(frame, kLcdLists, int(std::size(kLcdLists)));
  return frame;
}

}  // namespace m84
