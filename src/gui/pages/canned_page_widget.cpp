#include "gui/pages/canned_page_widget.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "gui/pages/control_factories.h"

namespace m84 {

namespace {

using namespace canned_key;

constexpr int kPasswordEditWidth = 40;

}  // namespace

CannedPageWidget::CannedPageWidget(CannedPageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : SettingsPage(model, data, host, parent) {
  auto* page = new QVBoxLayout(this);
  Compact(page);
  page->setSpacing(kControlSpacing * 2);
  page->addWidget(BuildHandProgrammingFrame());
  page->addWidget(BuildCannedFrame());
  page->addStretch();
}

QWidget* CannedPageWidget::BuildHandProgrammingFrame() {
  QGroupBox* frame = HorizontalFrame(QStringLiteral(" Hand programming "));
  QCheckBox* enable = CheckBox(kHandProgramming);
  QCheckBox* require = CheckBox(kRequirePassword);
  QLineEdit* password = TextEdit(kHandPasswordLength);
  password->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), password));
  password->setFixedWidth(kPasswordEditWidth);
  for (QWidget* control : {static_cast<QWidget*>(enable), static_cast<QWidget*>(require),
                           static_cast<QWidget*>(CaptionLabel(kPassword)), static_cast<QWidget*>(password)})
    frame->layout()->addWidget(control);
  static_cast<QHBoxLayout*>(frame->layout())->addStretch();
  Declare(Control(kHandProgramming, enable));
  Declare(Control(kRequirePassword, require));
  Declare(Control(kPassword, password));
  return frame;
}

QWidget* CannedPageWidget::BuildCannedFrame() {
  auto* grid = new QGridLayout;
  auto* frame = new QGroupBox(QStringLiteral(" Canned message "));
  frame->setLayout(grid);
  Compact(grid);
  QCheckBox* enable = CheckBox(kCannedEnable);
  grid->addWidget(enable, 0, 0, 1, 4);
  Declare(Control(kCannedEnable, enable));
  // "1" to "10" down the left column, "11" to "20" down the right one.
  for (int n = 1; n <= kCannedCount; ++n) {
    const int row = 1 + (n - 1) % kCannedRows;
    const int column = n <= kCannedRows ? 0 : 2;
    Place(grid, Canned(n), row, column, Qt::AlignRight);
  }
  return frame;
}

}  // namespace m84
