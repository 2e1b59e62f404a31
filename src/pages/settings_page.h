#pragma once
// The window side of a settings page: its controls, bound by key to the page model's variables.
// Every page widget follows the same pattern: build the controls, Bind() each one to its key,
// and add the handlers for the rules of that page.

#include <QHash>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "image/operation_host.h"
#include "pages/page_model.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace m84 {

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

// A focus change that means the user left a control: not the window losing activation, nor a
// menu or pop-up opening over it. Edit checks run only on these.
bool IsUserFocusChange(const QEvent* focusEvent);

class SettingsPage : public QWidget {
  Q_OBJECT
 public:
  SettingsPage(PageModel& model, PagerData& data, PageHost& host, QWidget* parent = nullptr);

  PageId Id() const { return model_.Id(); }
  PageModel& Model() { return model_; }

  // Store: controls into the variables, variables into the image. Load: the reverse.
  void ExchangeImage(Direction direction);
  // The page stores itself, then draws its section.
  void PrintSection(ReportCursor& report);

  // Controls into the variables / variables into the controls.
  void TakeControls();
  void ShowValues();

  // Asked, while this page is the one shown in advanced mode, before a left-button press
  // anywhere in the program's windows goes on; false discards the press with the error beep.
  virtual bool AcceptsLeftClick() { return true; }

 protected:
  void Bind(const QString& key, QCheckBox* box);
  void Bind(const QString& key, QComboBox* list);  // the selection index
  void Bind(const QString& key, QLineEdit* edit);  // the text
  // An edit whose variable is a number; a text that is not a number leaves the variable as it was.
  void BindNumber(const QString& key, QLineEdit* edit);

  // Recomputes which controls are enabled from the variables; run after every load.
  virtual void UpdateEnables() {}
  // The hint shown in the status line while the mouse is over the control (empty: cleared).
  void SetHint(QWidget* control, const QString& hint);
  // A failed edit check: the last valid values back into the controls, the message, the focus
  // back to the control, the error beep.
  void RejectEdit(QWidget* control, const QString& message);

  PageValues& Values() { return model_.Values(); }
  PagerData& Data() { return data_; }
  PageHost& Host() { return host_; }

  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // The Enter key: store, focus to the next control, load. Pages with an exception override it.
  virtual void HandleEnterKey();

 private:
  enum class Kind { Check, List, Text, Number };
  struct ControlBinding {
    QString key;
    Kind kind;
    QPointer<QWidget> control;
  };
  void WatchChildren();

  PageModel& model_;
  PagerData& data_;
  PageHost& host_;
  std::vector<ControlBinding> bindings_;
  QHash<QWidget*, QString> hints_;
  bool watching_ = false;
};

}  // namespace m84
