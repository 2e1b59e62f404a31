#include "gui/pages/control_factories.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>

namespace m84 {

void Compact(QLayout* layout) {
  layout->setContentsMargins(kControlMargin, kControlMargin, kControlMargin, kControlMargin);
  layout->setSpacing(kControlSpacing);
}

QGroupBox* Frame(const QString& caption, QBoxLayout* layout) {
  auto* frame = new QGroupBox(caption);
  frame->setLayout(layout);
  Compact(layout);
  return frame;
}

QGroupBox* VerticalFrame(const QString& caption) { return Frame(caption, new QVBoxLayout); }
QGroupBox* HorizontalFrame(const QString& caption) { return Frame(caption, new QHBoxLayout); }

QLineEdit* ReadOnlyEdit(int width) {
  auto* edit = new QLineEdit;
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::NoFocus);
  edit->setAlignment(Qt::AlignCenter);
  edit->setFixedWidth(width);
  return edit;
}

QLineEdit* TextEdit(int maxLength) {
  auto* edit = new QLineEdit;
  edit->setMaxLength(maxLength);
  return edit;
}

QLineEdit* NumberEdit(int width) {
  auto* edit = new QLineEdit;
  edit->setAlignment(Qt::AlignCenter);
  edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
  edit->setFixedWidth(width);
  return edit;
}

QComboBox* ListOf(const QStringList& entries) {
  auto* list = new QComboBox;
  list->addItems(entries);
  return list;
}

QPushButton* PageButton(const QString& text) {
  auto* button = new QPushButton(text);
  button->setAutoDefault(false);  // Enter belongs to the page
  return button;
}

WrappingCheckBox::WrappingCheckBox(const QString& text, const QString& firstLine)
    : QCheckBox(text), firstLine_(firstLine) {
  setMaximumWidth(sizeHint().width());
}

int WrappingCheckBox::heightForWidth(int width) const {
  const QRect text =
      fontMetrics().boundingRect(QRect(0, 0, std::max(1, width - TextIndent()), 10000), Qt::TextWordWrap, this->text());
  return std::max(text.height(), style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this));
}

QSize WrappingCheckBox::sizeHint() const {
  const int width = TextIndent() + fontMetrics().horizontalAdvance(firstLine_);
  return {width, heightForWidth(width)};
}

void WrappingCheckBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionButton option;
  initStyleOption(&option);
  option.text.clear();
  painter.drawControl(QStyle::CE_CheckBox, option);
  painter.drawItemText(rect().adjusted(TextIndent(), 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
                       palette(), isEnabled(), text(), QPalette::WindowText);
}

int WrappingCheckBox::TextIndent() const {
  return style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this) +
         style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, this);
}

}  // namespace m84
