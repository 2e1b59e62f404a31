#include "gui/pages/duplicate_page_widget.h"

#include <QGroupBox>
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
  Place(rejection->layout(), kRejection);
  Place(rejection->layout(), kDetectTime);
  Place(rejection->layout(), kSourceIndependent);
  Place(rejection->layout(), kAutoDeletion);

  QGroupBox* repeat = VerticalFrame(QStringLiteral(" Repeat MSG "));
  Place(repeat->layout(), kRepeatIcon);
  Place(repeat->layout(), kRepeatTone);

  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->setSpacing(kControlSpacing * 2);
  page->addWidget(rejection);
  page->addWidget(repeat);
  page->addStretch();
}

}  // namespace m84
