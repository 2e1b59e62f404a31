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

#include "gui/pages/control_factories.h"
#include "core/pages/voltage_code.h"
#include "gui/pages/voltage_edit.h"

namespace m84 {

namespace {

using namespace basic_key;
using namespace display_key;

constexpr int kVoltageEditWidth = 44;

struct CheckRow {
  const QString& key;
  const char* text;
};
struct ListRow {
  const QString& key;
  const char* label;
  const QStringList& entries;
  bool (*enabledWhen)(const PageValues&);  // nullptr: always enabled
};

bool ShowsStandbyText1(const PageValues& values) {
  return StandbyText1Enabled(values.Flag(kShowDate), values.Flag(kAlternativeScreen));
}
bool ShowsStandbyText2(const PageValues& values) { return StandbyText2Enabled(values.Flag(kAlternativeScreen)); }
bool ShowsMessageNumberLists(const PageValues& values) { return MessageNumberListsEnabled(values.Flag(kMessageNumber)); }

const CheckRow kOptionBoxes[] = {
    {kPreviewMode, "Enable message preview  mode"}, {kSmallText, "Set default text size small"},
    {kTimeStamp, "Time stamp messages"},             {kMessageNumber, "Message number display"},
    {kAddressFunction, "MSG Address / Function number"}, {kMaxMessagesAlert, "Report alert when max msgs reached"},
};
const CheckRow kBatteryBoxes[] = {
    {kLowBatteryAlarm, "Low battery alarm"},
    {kLowBatteryDisplay, "Low battery display"},
    {kLowBatteryVibrate, "Vibrate when low battery"},
};
const char* const kBatteryMarkLabels[] = {"High", "Middle", "Low"};
const ListRow kMessageLists[] = {
    {kStoredMessages, "Maximun number of stored  MSG", kStoredMessagesEntries, nullptr},
    {kNumberMode, "Message No. display mode", kNumberModeEntries, ShowsMessageNumberLists},
    {kNumberOrder, "Message number ordering", kNumberOrderEntries, ShowsMessageNumberLists},
};
const ListRow kLcdLists[] = {
    {kDisplayTime, "Display Time", kDisplayTimeEntries, nullptr},
    {kContrast, "LCD Contrast", kContrastEntries, nullptr},
};

QLabel* Label(const char* text) { return new QLabel(QString::fromLatin1(text)); }

// Each list beside its label, in a frame.
template <size_t N>
std::vector<ControlRow> ListRows(QGroupBox* frame, const ListRow (&rows)[N]) {
  auto* grid = new QGridLayout(frame);
  Compact(grid);
  grid->setColumnStretch(2, 1);
  std::vector<ControlRow> controls;
  for (int at = 0; at < int(N); ++at) {
    const ListRow& row = rows[at];
    QComboBox* list = ListOf(row.entries);
    grid->addWidget(Label(row.label), at, 0);
    grid->addWidget(list, at, 1);
    controls.push_back(Control(row.key, list));
    if (row.enabledWhen) controls.back().EnabledWhen(row.enabledWhen);
  }
  return controls;
}

}  // namespace

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
  QLineEdit* startup = TextEdit(kBasicTextLength);
  QLineEdit* standby1 = TextEdit(kBasicTextLength);
  QLineEdit* standby2 = TextEdit(kBasicTextLength);
  grid->addWidget(Label("Startup Text"), 0, 0, 1, 2);
  grid->addWidget(startup, 0, 2);
  grid->addWidget(Label("Standby Text"), 1, 0);
  grid->addWidget(Label("1ST"), 1, 1);
  grid->addWidget(standby1, 1, 2);
  grid->addWidget(Label("2ND"), 2, 1);
  grid->addWidget(standby2, 2, 2);
  Declare(Control(kStartupText, startup).Hint(kBasicTextHint));
  Declare(Control(kStandbyText1, standby1).Hint(kBasicTextHint).EnabledWhen(ShowsStandbyText1));
  Declare(Control(kStandbyText2, standby2).Hint(kBasicTextHint).EnabledWhen(ShowsStandbyText2));
  return grid;
}

QWidget* DisplayPageWidget::BuildOptionsFrame() {
  QGroupBox* frame = VerticalFrame(QStringLiteral(" Options "));
  for (const CheckRow& row : kOptionBoxes) {
    auto* box = new QCheckBox(QString::fromLatin1(row.text));
    frame->layout()->addWidget(box);
    Declare(Control(row.key, box));
  }
  auto* date = new QHBoxLayout;
  QComboBox* dateFormat = ListOf(kDateFormatEntries);
  date->addWidget(Label("Date format"));
  date->addWidget(dateFormat);
  date->addStretch();
  static_cast<QVBoxLayout*>(frame->layout())->addLayout(date);
  Declare(Control(kDateFormat, dateFormat));
  return frame;
}

QWidget* DisplayPageWidget::BuildBatteryFrame() {
  QGroupBox* frame = VerticalFrame(QStringLiteral(" Battery "));
  auto* layout = static_cast<QVBoxLayout*>(frame->layout());
  // Two to a row, the voltage marks' caption last: the page has more width to spare than height.
  auto* boxes = new QGridLayout;
  boxes->setSpacing(kControlSpacing);
  for (int i = 0; i < int(std::size(kBatteryBoxes)); ++i) {
    auto* box = new QCheckBox(QString::fromLatin1(kBatteryBoxes[i].text));
    boxes->addWidget(box, i / 2, i % 2);
    Declare(Control(kBatteryBoxes[i].key, box));
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
                .Hint(kVoltageHint)
                .OnEnter([this, mark](PageValues&) { display_.RememberVoltage(mark); })
                .Check([](const QString& text) { return CheckVoltageText(text).has_value(); }, QString(),
                       Rejected::LastValidBack)
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
  for (const ControlRow& row : ListRows(frame, kMessageLists)) Declare(row);
  return frame;
}

QWidget* DisplayPageWidget::BuildLcdFrame() {
  auto* frame = new QGroupBox(QStringLiteral(" LCD "));
  for (const ControlRow& row : ListRows(frame, kLcdLists)) Declare(row);
  return frame;
}

}  // namespace m84
