#pragma once
// The window side of a settings page: its controls over the page model's variables, each
// control declared once. A setting's label, entries, check with its message, hint and enabling
// condition are its model row's (pages/field_binding.h); a page widget adds only what is the
// window's own: where each control goes and what it does beyond its setting (Enter, how a
// refusal is undone, a rule on a click). The base does the rest (binding, object names, names
// and descriptions for screen readers, hints, tips, checks on leaving, Enter and Escape, enabling
// conditions, the page's guard):
//
//   DisplayPageWidget::DisplayPageWidget(DisplayPageModel& model, PagerData& data, PageHost& host,
//                                        QWidget* parent)
//       : SettingsPage(model, data, host, parent) {
//     SetToolTipDelay(kTipDelayMs);
//     QGroupBox* lcd = VerticalFrame(QStringLiteral(" LCD "));
//     Place(lcd->layout(), kContrast);                               // caption and list
//     Place(lcd->layout(), kPreview);                                // a click re-applies enables
//     auto* timeout = NumberEdit(kTimeoutWidth);
//     ... layouts ...
//     Declare(Control(kTimeout, timeout).Number().Checked());        // rejected text stays
//     for (int row = 0; row < kRows; ++row)                          // grids: a row per control
//       Declare(Control(Key("beep", row), beep[row]));
//     Declare(Control(QStringLiteral("reset"), reset).OnClick(ResetDefaults));  // a named rule
//   }
//
// The key is the page variable and the control's object name. A control without a variable (a
// button) is declared by its object name alone. A custom edit that changes its text itself (a
// masked edit) emits a signal named Edited(); the base follows it like textEdited.

#include <QHash>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include "core/image/operation_host.h"
#include "core/pages/page_model.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLayout;
class QLineEdit;

namespace m84 {

class DelayedTips;

// What a page needs from the main window: the status line's message pane, the beeps and the
// way into advanced mode.
class PageHost {
 public:
  virtual ~PageHost() = default;
  virtual void ShowStatus(const QString& text) = 0;
  virtual void Sound(Beep beep) = 0;
  // The Basic page accepted the advance-setting password.
  virtual void RequestAdvancedMode() {}
};

// A focus change that the user made: not the window losing or regaining activation, nor a menu
// or pop-up opening over a control or closing again. Edit checks on leaving a control and the
// rules on entering one run only on these.
bool IsUserFocusChange(const QEvent* focusEvent);

// A text the pager cannot hold (pages/field_codecs.h) is refused in every text edit of a page,
// typed or pasted, with this message naming the first such character and the error beep.
QString UnencodableCharacterMessage(const QString& character);

// A rule on the page's variables (pages/*_page.h name them); a handler runs it between taking
// the controls and showing the values.
using PageRule = std::function<void(PageValues&)>;

// What a failed check leaves in the edit: the rejected text (the variable follows the control,
// so it is shown again until mended) or the variable's last valid value (the variable takes only
// texts that pass).
enum class Rejected { TextStays, LastValidBack };
// When a control's leaving stores the page: after a passed check only, or whatever the check said.
enum class StoreAfter { Pass, EitherWay };

// One control of a page, as the page declares it.
class ControlRow {
 public:
  ControlRow(QString key, QWidget* control) : key_(std::move(key)), control_(control) {}

  // The edit's variable is a number; a text that is no number leaves the variable as it was.
  ControlRow& Number() {
    number_ = true;
    return *this;
  }
  // The tool tip, opened after the page's own delay.
  ControlRow& Tip(QString tip) {
    tip_ = std::move(tip);
    return *this;
  }
  // The setting's check (its form's, pages/field_binding.h) runs when the user leaves the
  // control, by Enter and before any store the window runs on a command: on a failure the form's
  // message, the focus back and the error beep.
  ControlRow& Checked(Rejected rejected = Rejected::TextStays) {
    checked_ = true;
    rejected_ = rejected;
    return *this;
  }
  // A failed check has the beep but shows no message.
  ControlRow& Silently() {
    silent_ = true;
    return *this;
  }
  // The setting's guard (its form's) runs before every left-button press while the page is
  // shown: a failure discards the press with its message (SettingsPage::AcceptsLeftClick).
  ControlRow& MouseGuard() {
    mouseGuard_ = true;
    return *this;
  }
  // Run when the user moves the focus into the control, after the controls were taken.
  ControlRow& OnEnter(PageRule rule) {
    onEnter_ = std::move(rule);
    return *this;
  }
  // Run when the user leaves the control and its check (if any) passed.
  ControlRow& OnLeave(PageRule rule) {
    onLeave_ = std::move(rule);
    return *this;
  }
  // Run when the check failed, before the controls show the variables: what the control goes
  // back to, where that is not simply the variable's last valid value.
  ControlRow& OnReject(PageRule rule) {
    onReject_ = std::move(rule);
    return *this;
  }
  // After leaving, the page stores itself into the image.
  ControlRow& ThenStore(StoreAfter when = StoreAfter::Pass) {
    storeOnLeave_ = true;
    storeAfter_ = when;
    return *this;
  }
  // The check also runs when the page loses the mouse capture while the control has the focus.
  ControlRow& CheckOnCaptureLoss() {
    checkOnCaptureLoss_ = true;
    return *this;
  }
  // A check box or list changed by the user, or a button clicked. Check boxes and lists without
  // a rule still take the controls and re-apply the enabling conditions.
  ControlRow& OnClick(PageRule rule) {
    onClick_ = std::move(rule);
    return *this;
  }
  // Every text change the user makes in an edit; the edit itself is left as typed.
  ControlRow& OnEdit(PageRule rule) {
    onEdit_ = std::move(rule);
    return *this;
  }
  // What a screen reader calls the control where its setting's label and place in a grid cannot
  // say it (the words of a page's own grid); otherwise the base names it from them.
  ControlRow& Named(QString name) {
    name_ = std::move(name);
    return *this;
  }

  const QString& Key() const { return key_; }
  QWidget* Widget() const { return control_; }
  const QString& HintText() const { return hint_; }
  const QString& TipText() const { return tip_; }
  const QString& AccessibleName() const { return name_; }
  bool HasCheck() const { return bool(check_); }
  bool HasGuard() const { return bool(guard_); }
  // Bound to a variable: check boxes, lists and edits.
  bool CarriesValue() const { return kind_ != Kind::None; }
  // Bound to a text variable (not a number, flag or list index); known once declared.
  bool HoldsText() const { return kind_ == Kind::Text; }
  bool Passes(const QString& text) const { return !check_ || check_(text); }
  const QString& Message() const { return message_; }
  // Whether a failed check brings the control's last valid value back.
  bool RestoresOnReject() const { return rejected_ == Rejected::LastValidBack; }

 private:
  friend class SettingsPage;
  enum class Kind { None, Check, List, Text, Number };

  QString key_;
  QPointer<QWidget> control_;
  bool number_ = false;
  QString name_;
  QString hint_;
  QString tip_;
  bool checked_ = false;
  bool silent_ = false;
  bool mouseGuard_ = false;
  TextCheck check_;
  QString message_;
  TextCheck guard_;
  QString guardMessage_;
  Rejected rejected_ = Rejected::TextStays;
  PageRule onEnter_;
  PageRule onLeave_;
  PageRule onReject_;
  bool storeOnLeave_ = false;
  StoreAfter storeAfter_ = StoreAfter::Pass;
  bool checkOnCaptureLoss_ = false;
  Condition enabledWhen_;
  PageRule onClick_;
  PageRule onEdit_;
  Kind kind_ = Kind::None;
};

inline ControlRow Control(QString key, QWidget* control) { return ControlRow(std::move(key), control); }

class SettingsPage : public QWidget {
  Q_OBJECT
 public:
  PageId Id() const { return model_.Id(); }
  PageModel& Model() { return model_; }

  // Store: controls into the variables, variables into the image; the controls then show what
  // the store changed (a clamped capcode, a rejected frequency given back) but keep what the
  // user typed where the variable only lost its trailing blanks. Load: the reverse, then the
  // enabling conditions.
  void ExchangeImage(Direction direction);
  // The page stores itself, then draws its section.
  void PrintSection(ReportCursor& report);

  // Controls into the variables / variables into the controls.
  void TakeControls();
  void ShowValues();
  // A handler in one call: take the controls, run the rule, show the values, apply the enables.
  void ApplyRule(const PageRule& rule);

  // A store is about to run on a command from outside the page (a button, its shortcut, a tab
  // change): the control with the focus is left first, as the user leaves it. False when its
  // check refused the text; the user then has its message, the beep and the focus, and the
  // command goes no further.
  bool LeaveFocusedControl();

  // Asked, while this page is the one shown in advanced mode, before a left-button press
  // anywhere in the program's windows goes on; false discards the press with the error beep.
  // The guards of the rows declared with MouseGuard() check their edits' texts in the order
  // declared; the first refusal shows its message.
  virtual bool AcceptsLeftClick();

  // What every page shares, for the tests that walk all pages.
  const std::vector<ControlRow>& Rows() const { return rows_; }
  // The controls the Enter key steps through, in the page's tab order.
  QList<QWidget*> TabOrder() const;
  // A page without any hints: the mouse over its controls leaves the status line alone.
  bool KeepsHintLine() const { return keepsHintLine_; }
  // The controls refused because their kind is not their setting's (a check box on a text):
  // such a control is never bound, and the page says so at start-up.
  const QStringList& RefusedControls() const { return refused_; }

 protected:
  // Only a page's own widget is a settings page.
  SettingsPage(PageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

  // The row takes what its setting's form gives (the hint, the enabling condition, the check
  // and its message, a guard) and is bound to it.
  void Declare(ControlRow row);
  // The words a setting's control shows, and controls made from its form: a check box with
  // them, a list of its entries.
  QString Caption(const QString& key);
  QCheckBox* CheckBox(const QString& key);
  QComboBox* List(const QString& key);
  QLabel* CaptionLabel(const QString& key);
  // A setting's control made from its row's form and declared as it is: a flag's check box, a
  // list of its entries, an edit of at most the text's width, a number's edit; a text with a
  // check and a number are checked on leaving.
  QWidget* Made(const QString& key);
  // The same control placed last in the layout, behind its caption unless it is a check box.
  void Place(QLayout* layout, const QString& key);
  // In a grid: the caption at (row, column), the control beside it. The control is returned for
  // what only the page says about it (a width).
  QWidget* Place(QGridLayout* grid, const QString& key, int row, int column, Qt::Alignment captionAlignment = {});
  void KeepHintLine() { keepsHintLine_ = true; }
  // The page's name as its tab shows it, without the blanks around it.
  QString Title() const;
  // Tips of the controls declared after this call open after delayMs.
  void SetToolTipDelay(int delayMs);
  void ApplyEnables();
  // A failed check: the controls show the variables, the message, the focus back to the
  // control, the error beep.
  void RejectEdit(QWidget* control, const QString& message);
  // The Enter key's steps: store, focus to the next control of the page (wrapping), load. A
  // control whose check fails is answered as leaving it would be, and nothing is stored.
  virtual void HandleEnterKey();
  // The row of a control or of a widget inside it (a list's own edit), or nullptr.
  const ControlRow* RowOf(const QObject* widget) const;

  PageValues& Values() { return model_.Values(); }
  PagerData& Data() { return data_; }
  PageHost& Host() { return host_; }

  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private slots:
  void OnControlEdited();

 private:
  void TakeForm(ControlRow& row);
  // Whether the control's kind is the one its setting's form asks for.
  bool KindMatchesForm(const ControlRow& row);
  // The control's name and description for a screen reader: its label and its place, its hint.
  void NameForScreenReaders(ControlRow& row);
  const SettingForm& FormOf(const QString& key);
  void Connect(const ControlRow& row);
  void ShowValuesExcept(const QWidget* kept, bool afterStore);
  // The user left the control: its check, then its leave rule. False when the check failed.
  bool LeaveControl(const ControlRow& row);
  void EnterControl(const ControlRow& row);
  // Leaving, entering or storing: a row that has anything to do then.
  static bool ActsOnLeaving(const ControlRow& row);
  void GuardPagerText(const ControlRow& row);
  bool RefusePastedText();
  void RefuseText(const QString& character);
  void CheckOnCaptureLoss();
  void WatchChildren();
  void FocusNextControl();

  PageModel& model_;
  PagerData& data_;
  PageHost& host_;
  std::vector<ControlRow> rows_;
  QHash<const QObject*, size_t> rowIndex_;
  DelayedTips* tips_ = nullptr;
  int tipDelayMs_;
  // A failed check gives the focus back, which reports another focus change; that one is no
  // user's leaving.
  bool checking_ = false;
  bool watching_ = false;
  bool keepsHintLine_ = false;
  QStringList refused_;
};

}  // namespace m84
