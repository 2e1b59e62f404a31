#include "gui/pages/duplicate_page_widget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

using namespace duplicate_key;

}  // namespace

DuplicatePageWidget::DuplicatePageWidget(DuplicatePageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent) {
  KeepHintLine();
  QGroupBox* rejection = VerticalFrame(QStringLiteral(" Duplicate MSG rejection "));
  auto* enable = new QCheckBox(QStringLiteral("Enable"));
  QComboBox* detectTime = ListOf(kDetectTimeEntries);
  auto* sourceIndependent = new QCheckBox(QStringLiteral("Enable source independent duplicated MSG rejection"));
  auto* autoDeletion = new QCheckBox(QStringLiteral("Enable auto MSG deletion when receiving the duplicated MSG "));
  auto* detect = new QHBoxLayout;
  detect->addWidget(new QLabel(QStringLiteral("Detect Time")));
  detect->addWidget(detectTime);
  detect->addStretch();
  rejection->layout()->addWidget(enable);
  static_cast<QVBoxLayout*>(rejection->layout())->addLayout(detect);
  rejection->layout()->addWidget(sourceIndependent);
  rejection->layout()->addWidget(autoDeletion);

  QGroupBox* repeat = VerticalFrame(QStringLiteral(" Repeat MSG "));
  auto* repeatIcon = new QCheckBox(QStringLiteral("Display Repeat Message Icon"));
  QComboBox* repeatTone = ListOf(kRepeatToneEntries);
  auto* tone = new QHBoxLayout;
  tone->addWidget(new QLabel(QStringLiteral("Repeat message tone pattern")));
  tone->addWidget(repeatTone);
  tone->addStretch();
  repeat->layout()->addWidget(repeatIcon);
  static_cast<QVBoxLayout*>(repeat->layout())->addLayout(tone);

  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->setSpacing(kControlSpacing * 2);
  page->addWidget(rejection);
  page->addWidget(repeat);
  page->addStretch();

  const Condition whileRejecting = [](const PageValues& v) { return RejectionOptionsEnabled(v.Flag(kRejection)); };
  Declare(Control(kRejection, enable));
  Declare(Control(kDetectTime, detectTime).EnabledWhen(whileRejecting));
  Declare(Control(kSourceIndependent, sourceIndependent).EnabledWhen(whileRejecting));
  Declare(Control(kAutoDeletion, autoDeletion).EnabledWhen(whileRejecting));
  Declare(Control(kRepeatIcon, repeatIcon));
  Declare(Control(kRepeatTone, repeatTone));
}

}  // namespace m84
