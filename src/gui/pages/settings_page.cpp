#include "gui/pages/settings_page.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QValidator>

#include "core/pages/field_codecs.h"
#include "gui/accessibility.h"
#include "gui/pages/control_factories.h"
#include "gui/pages/delayed_tips.h"

namespace m84 {

namespace {
constexpr int kDefaultTipDelayMs = 1000;
constexpr int kNumberEditWidth = 44;

// The window's number check: blanks around it allowed, only digits, lo to hi.
TextCheck InRange(uint32_t lo, uint32_t hi) {
  return [lo, hi](const QString& text) { return CheckDecimalRange(text, lo, hi); };
}

// Refuses a change that would put a character the pager cannot hold into the edit, whatever
// brought it (a key, a paste from the menu or the middle button, a drop, an input method): the
// edit stays as it was and the page is told which character it was.
class PagerTextValidator : public QValidator {
 public:
  PagerTextValidator(std::function<void(const QString&)> refused, QObject* parent)
      : QValidator(parent), refused_(std::move(refused)) {}
  State validate(QString& text, int&) const override {
    const QString character = FirstUnencodableCharacter(text);
    if (character.isEmpty()) return Acceptable;
    refused_(character);
    return Invalid;
  }

 private:
  std::function<void(const QString&)> refused_;
};
}  // namespace

QString UnencodableCharacterMessage(const QString& character) {
  return QStringLiteral("The pager cannot hold the character \"%1\"").arg(character);
}

bool IsUserFocusChange(const QEvent* focusEvent) {
  const Qt::FocusReason reason = static_cast<const QFocusEvent*>(focusEvent)->reason();
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && reason != Qt::MenuBarFocusReason;
}

SettingsPage::SettingsPage(PageModel& model, PagerData& data, PageHost& host, QWidget* parent)
    : QWidget(parent), model_(model), data_(data), host_(host), tipDelayMs_(kDefaultTipDelayMs) {
  InstallAccessibleInterfaces();
}

void SettingsPage::ExchangeImage(Direction direction) {
  if (direction == Direction::Store) {
    TakeControls();
    model_.Store(data_);
    ShowValuesExcept(nullptr, true);
    return;
  }
  model_.Load(data_);
  ShowValues();
  ApplyEnables();
}

void SettingsPage::PrintSection(ReportCursor& report) {
  ExchangeImage(Direction::Store);
  model_.PrintSection(report);
}

const SettingForm& SettingsPage::FormOf(const QString& key) {
  static const SettingForm kNoForm;
  const FieldBinding* binding = model_.Row(key);
  return binding ? binding->form : kNoForm;
}

QString SettingsPage::Caption(const QString& key) {
  const FieldBinding* binding = model_.Row(key);
  return binding ? binding->Caption() : QString();
}

QCheckBox* SettingsPage::CheckBox(const QString& key) { return new QCheckBox(Caption(key)); }

QComboBox* SettingsPage::List(const QString& key) { return ListOf(FormOf(key).entries); }

QLabel* SettingsPage::CaptionLabel(const QString& key) { return new QLabel(Caption(key)); }

QWidget* SettingsPage::Made(const QString& key) {
  const SettingForm& form = FormOf(key);
  switch (form.kind) {
    case SettingKind::Entry: {
      QComboBox* list = List(key);
      Declare(Control(key, list));
      return list;
    }
    case SettingKind::Text: {
      QLineEdit* edit = TextEdit(form.width);
      ControlRow row = Control(key, edit);
      if (form.accepts) row.Checked();
      Declare(std::move(row));
      return edit;
    }
    case SettingKind::Number: {
      QLineEdit* edit = NumberEdit(kNumberEditWidth);
      Declare(Control(key, edit).Number().Checked());
      return edit;
    }
    case SettingKind::Flag:
    case SettingKind::None: break;
  }
  QCheckBox* box = CheckBox(key);
  Declare(Control(key, box));
  return box;
}

void SettingsPage::Place(QLayout* layout, const QString& key) {
  if (FormOf(key).kind == SettingKind::Flag || FormOf(key).kind == SettingKind::None) {
    layout->addWidget(Made(key));
    return;
  }
  auto* line = new QHBoxLayout;
  line->addWidget(CaptionLabel(key));
  line->addWidget(Made(key));
  line->addStretch();
  if (auto* box = qobject_cast<QBoxLayout*>(layout))
    box->addLayout(line);
  else
    layout->addItem(line);
}

QWidget* SettingsPage::Place(QGridLayout* grid, const QString& key, int row, int column,
                             Qt::Alignment captionAlignment) {
  grid->addWidget(CaptionLabel(key), row, column, captionAlignment);
  QWidget* control = Made(key);
  grid->addWidget(control, row, column + 1);
  return control;
}

void SettingsPage::TakeForm(ControlRow& row) {
  const SettingForm& form = FormOf(row.key_);
  row.hint_ = form.hint;
  row.enabledWhen_ = form.enabledWhen;
  if (row.mouseGuard_) {
    Q_ASSERT(form.guard);
    row.guard_ = form.guard;
    row.guardMessage_ = form.guardMessage;
  }
  if (!row.checked_) return;
  Q_ASSERT(form.kind == SettingKind::Number || form.accepts);
  row.check_ = form.kind == SettingKind::Number ? InRange(uint32_t(form.lo), uint32_t(form.hi)) : form.accepts;
  if (!row.silent_) row.message_ = form.message;
}

// A control in a grid is one of many alike ("Capcode" eight times, a box without words): its
// row's label makes it one of its own, in the words the page shows ("Capcode 3 Auto Increment").
// The label says what a control is even where its caption on the page is short ("Enable").
void SettingsPage::NameForScreenReaders(ControlRow& row) {
  const SettingForm& form = FormOf(row.key_);
  if (row.name_.isEmpty()) {
    const QString label = (form.label.isEmpty() ? Caption(row.key_) : form.label).simplified();
    const QString place = form.rowLabel.simplified();
    if (form.row < 0 || place.isEmpty())
      row.name_ = label;
    else
      row.name_ = label.isEmpty() || place.startsWith(label) ? place : place + QLatin1Char(' ') + label;
  }
  if (!row.name_.isEmpty()) row.control_->setAccessibleName(row.name_);
  const QString description = form.hint.isEmpty() ? row.tip_ : form.hint;
  if (!description.isEmpty()) row.control_->setAccessibleDescription(description);
}

QString SettingsPage::Title() const {
  for (const PageInfo& info : kTabPages)
    if (info.id == Id()) return QString::fromLatin1(info.tabLabel).simplified();
  return QStringLiteral("Basic");
}

bool SettingsPage::AcceptsLeftClick() {
  for (const ControlRow& row : rows_) {
    const auto* edit = qobject_cast<const QLineEdit*>(row.control_.data());
    if (!row.guard_ || !edit || row.guard_(edit->text())) continue;
    host_.ShowStatus(row.guardMessage_);
    return false;
  }
  return true;
}

void SettingsPage::Declare(ControlRow row) {
  TakeForm(row);
  QWidget* control = row.control_;
  if (!row.key_.isEmpty()) control->setObjectName(row.key_);
  NameForScreenReaders(row);
  if (qobject_cast<QCheckBox*>(control))
    row.kind_ = ControlRow::Kind::Check;
  else if (qobject_cast<QComboBox*>(control))
    row.kind_ = ControlRow::Kind::List;
  else if (qobject_cast<QLineEdit*>(control))
    row.kind_ = row.number_ ? ControlRow::Kind::Number : ControlRow::Kind::Text;
  if (!KindMatchesForm(row)) {
    refused_ << row.key_;
    qWarning("The %s page refuses the control \"%s\": its kind is not its setting's", qPrintable(Title()),
             qPrintable(row.key_));
    return;
  }
  if (row.kind_ == ControlRow::Kind::Text) GuardPagerText(row);
  if (!row.tip_.isEmpty()) {
    if (!tips_) tips_ = new DelayedTips(tipDelayMs_, this);
    tips_->Add(control, row.tip_);
  }
  // The hint follows the mouse over the control, not only its entering.
  control->setMouseTracking(true);
  control->installEventFilter(this);
  rowIndex_.insert(control, rows_.size());
  rows_.push_back(std::move(row));
  Connect(rows_.back());
  if (rows_.back().enabledWhen_) control->setEnabled(rows_.back().enabledWhen_(Values()));
}

bool SettingsPage::KindMatchesForm(const ControlRow& row) {
  using Kind = ControlRow::Kind;
  switch (FormOf(row.key_).kind) {
    case SettingKind::None: return true;
    case SettingKind::Flag: return row.kind_ == Kind::Check;
    case SettingKind::Entry: return row.kind_ == Kind::List;
    case SettingKind::Text: return row.kind_ == Kind::Text;
    case SettingKind::Number: return row.kind_ == Kind::Number;
  }
  return false;
}

// Edits with a validator of their own (digits only) refuse such characters already.
void SettingsPage::GuardPagerText(const ControlRow& row) {
  auto* edit = static_cast<QLineEdit*>(row.control_.data());
  if (edit->validator()) return;
  edit->setValidator(new PagerTextValidator([this](const QString& c) { RefuseText(c); }, edit));
}

// Only the user brings such a character: the page's own texts come from the image's bytes.
void SettingsPage::RefuseText(const QString& character) {
  host_.ShowStatus(UnencodableCharacterMessage(character));
  host_.Sound(Beep::Error);
}

// A paste is refused whole when any of it cannot be held; the edit alone would keep the part
// before its length limit.
bool SettingsPage::RefusePastedText() {
  const QString character = FirstUnencodableCharacter(QApplication::clipboard()->text());
  if (character.isEmpty()) return false;
  RefuseText(character);
  return true;
}

void SettingsPage::SetToolTipDelay(int delayMs) {
  tipDelayMs_ = delayMs;
  tips_ = nullptr;  // the next tip starts a filter with this delay
}

void SettingsPage::Connect(const ControlRow& row) {
  QWidget* control = row.control_;
  const size_t index = rows_.size() - 1;
  auto clicked = [this, index] { ApplyRule(rows_[index].onClick_); };
  if (auto* box = qobject_cast<QCheckBox*>(control)) {
    connect(box, &QCheckBox::clicked, this, clicked);
  } else if (auto* list = qobject_cast<QComboBox*>(control)) {
    connect(list, &QComboBox::activated, this, clicked);
  } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
    if (row.onClick_) connect(button, &QAbstractButton::clicked, this, clicked);
  } else if (auto* edit = qobject_cast<QLineEdit*>(control); edit && row.onEdit_) {
    // A masked edit changes its own text and reports that by its own signal.
    if (edit->metaObject()->indexOfSignal("Edited()") >= 0)
      connect(edit, SIGNAL(Edited()), this, SLOT(OnControlEdited()));
    else
      connect(edit, &QLineEdit::textEdited, this, &SettingsPage::OnControlEdited);
  }
}

void SettingsPage::OnControlEdited() {
  const ControlRow* row = RowOf(sender());
  if (!row) return;
  TakeControls();
  row->onEdit_(Values());
  ShowValuesExcept(row->control_, false);
  ApplyEnables();
}

void SettingsPage::TakeControls() {
  PageValues& values = model_.Values();
  for (const ControlRow& row : rows_) {
    QWidget* control = row.control_;
    if (!control) continue;
    switch (row.kind_) {
      case ControlRow::Kind::None: break;
      case ControlRow::Kind::Check: values.Set(row.key_, static_cast<QCheckBox*>(control)->isChecked()); break;
      case ControlRow::Kind::List: values.Set(row.key_, static_cast<QComboBox*>(control)->currentIndex()); break;
      case ControlRow::Kind::Text:
      case ControlRow::Kind::Number: {
        const QString text = static_cast<QLineEdit*>(control)->text();
        if (row.rejected_ == Rejected::LastValidBack && !row.Passes(text)) break;
        if (row.kind_ == ControlRow::Kind::Text) {
          values.Set(row.key_, text);
          break;
        }
        bool ok = false;
        const int number = text.trimmed().toInt(&ok);
        if (ok) values.Set(row.key_, number);
        break;
      }
    }
  }
}

void SettingsPage::ShowValues() { ShowValuesExcept(nullptr, false); }

void SettingsPage::ShowValuesExcept(const QWidget* kept, bool afterStore) {
  const PageValues& values = model_.Values();
  for (const ControlRow& row : rows_) {
    QWidget* control = row.control_;
    if (!control || control == kept || !values.Has(row.key_)) continue;
    if (afterStore && !model_.ShowsStoredValue(row.key_)) continue;
    switch (row.kind_) {
      case ControlRow::Kind::None: break;
      case ControlRow::Kind::Check: static_cast<QCheckBox*>(control)->setChecked(values.Flag(row.key_)); break;
      case ControlRow::Kind::List: static_cast<QComboBox*>(control)->setCurrentIndex(values.Number(row.key_)); break;
      case ControlRow::Kind::Text:
      case ControlRow::Kind::Number: {
        auto* edit = static_cast<QLineEdit*>(control);
        const QString text =
            row.kind_ == ControlRow::Kind::Text ? values.Text(row.key_) : QString::number(values.Number(row.key_));
        if (edit->text() != text) edit->setText(text);
        break;
      }
    }
  }
}

void SettingsPage::ApplyRule(const PageRule& rule) {
  TakeControls();
  if (rule) rule(Values());
  ShowValues();
  ApplyEnables();
}

void SettingsPage::ApplyEnables() {
  for (const ControlRow& row : rows_)
    if (row.enabledWhen_ && row.control_) row.control_->setEnabled(row.enabledWhen_(Values()));
}

const ControlRow* SettingsPage::RowOf(const QObject* widget) const {
  for (const QObject* o = widget; o && o != this; o = o->parent()) {
    const auto found = rowIndex_.constFind(o);
    if (found != rowIndex_.constEnd()) return &rows_[*found];
  }
  return nullptr;
}

void SettingsPage::RejectEdit(QWidget* control, const QString& message) {
  const bool wasChecking = checking_;
  checking_ = true;
  ShowValues();
  if (!message.isEmpty()) host_.ShowStatus(message);
  control->setFocus(Qt::OtherFocusReason);
  host_.Sound(Beep::Error);
  checking_ = wasChecking;
}

bool SettingsPage::LeaveControl(const ControlRow& row) {
  if (checking_) return true;
  checking_ = true;
  QWidget* control = row.control_;
  auto* edit = qobject_cast<QLineEdit*>(control);
  const QString text = edit ? edit->text() : QString();
  TakeControls();
  const bool passed = row.Passes(text);
  if (!passed) {
    if (row.onReject_) row.onReject_(Values());
    RejectEdit(control, row.message_);
    if (row.storeOnLeave_ && row.storeAfter_ == StoreAfter::EitherWay) ExchangeImage(Direction::Store);
  } else {
    if (row.onLeave_) row.onLeave_(Values());
    ShowValues();
    if (row.storeOnLeave_) ExchangeImage(Direction::Store);
    ApplyEnables();
  }
  checking_ = false;
  return passed;
}

void SettingsPage::EnterControl(const ControlRow& row) {
  if (checking_ || !row.onEnter_) return;
  TakeControls();
  row.onEnter_(Values());
}

bool SettingsPage::ActsOnLeaving(const ControlRow& row) { return row.check_ || row.onLeave_ || row.storeOnLeave_; }

bool SettingsPage::LeaveFocusedControl() {
  QWidget* focus = window()->focusWidget();
  if (!focus || !isAncestorOf(focus) || !isVisible()) return true;
  const auto found = rowIndex_.constFind(focus);
  if (found == rowIndex_.constEnd()) return true;
  const ControlRow& row = rows_[*found];
  if (!ActsOnLeaving(row) || !row.control_->isEnabled()) return true;
  return LeaveControl(row);
}

void SettingsPage::showEvent(QShowEvent* event) {
  WatchChildren();
  QWidget::showEvent(event);
}

// The parts inside a control (a list's button and pop-up) report the mouse and its release too.
void SettingsPage::WatchChildren() {
  if (watching_) return;
  watching_ = true;
  for (QWidget* child : findChildren<QWidget*>()) {
    child->installEventFilter(this);
    if (RowOf(child)) child->setMouseTracking(true);
  }
}

bool SettingsPage::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::FocusOut:
      if (IsUserFocusChange(event)) {
        const auto found = rowIndex_.constFind(watched);
        if (found != rowIndex_.constEnd() && ActsOnLeaving(rows_[*found])) LeaveControl(rows_[*found]);
      }
      break;
    case QEvent::FocusIn:
      if (IsUserFocusChange(event)) {
        const auto found = rowIndex_.constFind(watched);
        if (found != rowIndex_.constEnd()) EnterControl(rows_[*found]);
      }
      break;
    case QEvent::KeyPress:
      if (auto* edit = qobject_cast<QLineEdit*>(watched);
          edit && edit->validator() && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste) &&
          RefusePastedText())
        return true;
      break;
    case QEvent::Enter:
    case QEvent::MouseMove:
      // The page's background, frame captions and labels leave the line as it is.
      if (keepsHintLine_) break;
      if (const ControlRow* row = RowOf(watched)) host_.ShowStatus(row->hint_);
      break;
    default: break;
  }
  return false;
}

void SettingsPage::mouseReleaseEvent(QMouseEvent* event) {
  CheckOnCaptureLoss();
  QWidget::mouseReleaseEvent(event);
}

// The end of a mouse press on the page's background (a label or frame passes its release on to
// the page) is the page losing the mouse capture. The control with the focus keeps the focus,
// so only this runs its check. A press on a control is a focus change and is checked as one.
void SettingsPage::CheckOnCaptureLoss() {
  const ControlRow* row = RowOf(QApplication::focusWidget());
  if (row && row->checkOnCaptureLoss_ && row->control_->isEnabled()) LeaveControl(*row);
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
    default: QWidget::keyPressEvent(event);
  }
}

void SettingsPage::HandleEnterKey() {
  // A store would take a rejected text as it stands.
  if (const ControlRow* row = RowOf(QApplication::focusWidget()); row && row->check_) {
    auto* edit = qobject_cast<QLineEdit*>(row->control_.data());
    if (edit && !row->Passes(edit->text())) {
      LeaveControl(*row);
      return;
    }
  }
  ExchangeImage(Direction::Store);
  FocusNextControl();
  ExchangeImage(Direction::Load);
}

QList<QWidget*> SettingsPage::TabOrder() const {
  QList<QWidget*> order;
  for (QWidget* w = nextInFocusChain(); w && w != this; w = w->nextInFocusChain()) {
    if (!isAncestorOf(w) || w->focusProxy() || !(w->focusPolicy() & Qt::TabFocus)) continue;
    if (!w->isEnabled() || !w->isVisibleTo(this)) continue;
    order << w;
  }
  return order;
}

void SettingsPage::FocusNextControl() {
  const QList<QWidget*> order = TabOrder();
  if (order.isEmpty()) return;
  const qsizetype at = order.indexOf(QApplication::focusWidget());
  order[(at + 1) % order.size()]->setFocus(Qt::TabFocusReason);
}

}  // namespace m84
