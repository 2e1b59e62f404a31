#include "gui/page_edits.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QWidget>

namespace m84 {

PageEdits::PageEdits(QObject* parent) : QObject(parent) {
  coalesce_.setSingleShot(true);
  coalesce_.setInterval(0);
  connect(&coalesce_, &QTimer::timeout, this, &PageEdits::Changed);
}

void PageEdits::Watch(QWidget* page) {
  const auto changed = [this] { coalesce_.start(); };
  for (QLineEdit* edit : page->findChildren<QLineEdit*>()) connect(edit, &QLineEdit::textChanged, this, changed);
  for (QAbstractButton* button : page->findChildren<QAbstractButton*>())
    connect(button, &QAbstractButton::toggled, this, changed);
  for (QComboBox* list : page->findChildren<QComboBox*>()) {
    connect(list, &QComboBox::currentIndexChanged, this, changed);
    connect(list, &QComboBox::editTextChanged, this, changed);
  }
  for (QGroupBox* group : page->findChildren<QGroupBox*>()) connect(group, &QGroupBox::toggled, this, changed);
}

QStringList PageEdits::Shown(const QList<QWidget*>& pages) {
  QStringList shown;
  for (QWidget* page : pages) {
    for (QWidget* control : page->findChildren<QWidget*>()) {
      // A password typed is no setting: it opens advanced mode and is kept nowhere.
      if (auto* edit = qobject_cast<QLineEdit*>(control))
        shown << (edit->echoMode() == QLineEdit::Normal ? edit->text() : QString());
      else if (auto* button = qobject_cast<QAbstractButton*>(control); button && button->isCheckable())
        shown << QString::number(button->isChecked());
      else if (auto* list = qobject_cast<QComboBox*>(control))
        shown << QString::number(list->currentIndex()) + QLatin1Char(':') + list->currentText();
      else if (auto* group = qobject_cast<QGroupBox*>(control); group && group->isCheckable())
        shown << QString::number(group->isChecked());
    }
  }
  return shown;
}

}  // namespace m84
