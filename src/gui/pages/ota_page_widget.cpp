#include "gui/pages/ota_page_widget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

QString KeyOf(const char* key) { return QString::fromLatin1(key); }

constexpr int kCadenceColumns = 2;

}  // namespace

OtaPageWidget::OtaPageWidget(OtaPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent), ota_(model) {
  for (size_t i = 0; i < kOtaCommands.size(); ++i) commands_[i] = TextEdit(kOtaCommandLength);
  passwordCommand_ = CommandEdit("enablePasswordCommand");

  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->setSpacing(kControlSpacing * 2);
  page->addWidget(BuildFixedFrame());
  page->addWidget(BuildFlexibleFrame());
  page->addStretch();
}

QLineEdit* OtaPageWidget::CommandEdit(const char* key) {
  for (size_t i = 0; i < kOtaCommands.size(); ++i)
    if (qstrcmp(kOtaCommands[i].key, key) == 0) return commands_[i];
  return nullptr;
}

QWidget* OtaPageWidget::BuildFixedFrame() {
  auto* grid = new QGridLayout;
  auto* frame = new QGroupBox(QStringLiteral(" Fixed Command Over The Air (OTA) Option "));
  frame->setLayout(grid);
  Compact(grid);
  grid->addWidget(new QLabel(kOtaExampleHeading), 0, 1);
  int row = 1;
  for (const FixedOtaOption& option : kFixedOtaOptions) {
    QCheckBox* box = CheckBox(KeyOf(option.key));
    grid->addWidget(box, row, 0);
    grid->addWidget(new QLabel(QString::fromLatin1(option.example)), row++, 1);
    Declare(Control(KeyOf(option.key), box));
  }
  return frame;
}

QWidget* OtaPageWidget::BuildFlexibleFrame() {
  auto* grid = new QGridLayout;
  auto* frame = new QGroupBox(QStringLiteral(" Flexible Command Over The Air (OTA) option "));
  frame->setLayout(grid);
  Compact(grid);
  int row = 0;
  for (const FlexibleOtaOption& option : kFlexibleOtaOptions) {
    QCheckBox* box = CheckBox(KeyOf(option.key));
    Declare(Control(KeyOf(option.key), box));
    if (!option.command) {
      grid->addWidget(box, row++, 0, 1, 2 * kCadenceColumns);
      continue;
    }
    grid->addWidget(box, row, 0, 1, 2 * kCadenceColumns - 1);
    grid->addWidget(CommandEdit(option.command), row++, 2 * kCadenceColumns - 1);
  }
  // Cadence "J" to Cadence "M" under their check box, two to a line.
  for (int i = kFirstCadenceCommand; i < kOtaCommandCount; ++i) {
    const int at = i - kFirstCadenceCommand;
    const QString label = QStringLiteral("Cadence \"%1\"").arg(QChar('J' + at));
    grid->addWidget(new QLabel(label), row + at / kCadenceColumns, 2 * (at % kCadenceColumns), Qt::AlignRight);
    grid->addWidget(commands_[size_t(i)], row + at / kCadenceColumns, 2 * (at % kCadenceColumns) + 1);
  }
  for (size_t i = 0; i < kOtaCommands.size(); ++i) {
    ControlRow row = Control(KeyOf(kOtaCommands[i].key), commands_[i]).MouseGuard();
    if (commands_[i] == passwordCommand_) DeclarePasswordCommandCheck(row);
    Declare(std::move(row));
  }
  return frame;
}

// What the edit held when the user entered it is what a refused entry goes back to; the page is
// stored either way, and a refusal has the beep but no message of its own.
void OtaPageWidget::DeclarePasswordCommandCheck(ControlRow& row) {
  row.OnEnter([this](PageValues&) { ota_.BeginPasswordCommandEdit(); })
      .Checked(Rejected::LastValidBack)
      .Silently()
      .OnLeave([this](PageValues&) { ota_.CheckPasswordCommand(); })
      .OnReject([this](PageValues&) { ota_.RefusePasswordCommand(); })
      .ThenStore(StoreAfter::EitherWay);
}

}  // namespace m84
