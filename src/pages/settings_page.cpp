#include "pages/settings_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace m84 {

bool IsUserFocusChange(const QEvent* focusEvent) {
  const Qt::FocusReason reason = static_cast<const QFocusEvent*>(focusEvent)->reason();
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason &&
         reason != Qt::MenuBarFocusReason;
}

SettingsPage::SettingsPage(PageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : QWidget(parent), model_(model), data_(data), host_(host) {}

void SettingsPage::ExchangeImage(Direction direction) {
  if (direction == Direction::Store) {
    TakeControls();
    model_.Store(data_);
    ShowValues();  // a store may change a variable (texts padded to their field)
    return;
  }
  model_.Load(data_);
  ShowValues();
  UpdateEnables();
}

void SettingsPage::PrintSection(ReportCursor& report) {
  ExchangeImage(Direction::Store);
  model_.PrintSection(report);
}

void SettingsPage::TakeControls() {
  PageValues& values = model_.Values();
  for (const ControlBinding& b : bindings_) {
    if (!b.control) continue;
    switch (b.kind) {
      case Kind::Check:
        values.Set(b.key, static_cast<QCheckBox*>(b.control.data())->isChecked());
        break;
      case Kind::List:
        values.Set(b.key, static_cast<QComboBox*>(b.control.data())->currentIndex());
        break;
      case Kind::Text:
        values.Set(b.key, static_cast<QLineEdit*>(b.control.data())->text());
        break;
      case Kind::Number: {
        bool ok = false;
        const int number = static_cast<QLineEdit*>(b.control.data())->text().trimmed().toInt(&ok);
        if (ok) values.Set(b.key, number);
        break;
      }
    }
  }
}

void SettingsPage::ShowValues() {
  const PageValues& values = model_.Values();
  for (const ControlBinding& b : bindings_) {
    if (!b.control || !values.Has(b.key)) continue;
    switch (b.kind) {
      case Kind::Check:
        static_cast<QCheckBox*>(b.control.data())->setChecked(values.Flag(b.key));
        break;
      case Kind::List:
        static_cast<QComboBox*>(b.control.data())->setCurrentIndex(values.Number(b.key));
        break;
      case Kind::Text: {
        auto* edit = static_cast<QLineEdit*>(b.control.data());
        if (edit->text() != values.Text(b.key)) edit->setText(values.Text(b.key));
        break;
      }
      case Kind::Number: {
        auto* edit = static_cast<QLineEdit*>(b.control.data());
        const QString text = QString::number(values.Number(b.key));
        if (edit->text() != text) edit->setText(text);
        break;
      }
    }
  }
}

void SettingsPage::Bind(const QString& key, QCheckBox* box) { bindings_.push_back({key, Kind::Check, box}); }
void SettingsPage::Bind(const QString& key, QComboBox* list) { bindings_.push_back({key, Kind::List, list}); }
void SettingsPage::Bind(const QString& key, QLineEdit* edit) { bindings_.push_back({key, Kind::Text, edit}); }
void SettingsPage::BindNumber(const QString& key, QLineEdit* edit) {
  bindings_.push_back({key, Kind::Number, edit});
}

void SettingsPage::SetHint(QWidget* control, const QString& hint) { hints_.insert(control, hint); }

void SettingsPage::RejectEdit(QWidget* control, const QString& message) {
  ShowValues();
  host_.ShowStatus(message);
  control->setFocus(Qt::OtherFocusReason);
  host_.Sound(Beep::Error);
}

void SettingsPage::showEvent(QShowEvent* event) {
  WatchChildren();
  QWidget::showEvent(event);
}

// Every control of the page reports the mouse entering it, for the hint line.
void SettingsPage::WatchChildren() {
  if (watching_) return;
  watching_ = true;
  for (QWidget* child : findChildren<QWidget*>()) child->installEventFilter(this);
}

bool SettingsPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Enter) {
    // A control inside a compound control (a combo's line edit) shows its owner's hint.
    for (QObject* o = watched; o && o != this; o = o->parent()) {
      auto* widget = qobject_cast<QWidget*>(o);
      if (widget && hints_.contains(widget)) {
        host_.ShowStatus(hints_.value(widget));
        return false;
      }
    }
    host_.ShowStatus(QString());
  }
  return false;
}

void SettingsPage::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      HandleEnterKey();
      event->accept();
      return;
    case Qt::Key_Escape:
      event->accept();  // Escape on a page does nothing, and never reaches the window
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void SettingsPage::HandleEnterKey() {
  ExchangeImage(Direction::Store);
  focusNextChild();
  ExchangeImage(Direction::Load);
}

}  // namespace m84
