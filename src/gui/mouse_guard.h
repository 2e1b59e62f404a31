#pragma once
// The mouse guard of advanced mode: while installed, every left-button press on any of the
// program's widgets is first put to the page shown. A page that refuses (the Over The Air page
// with an unusable command text) has the press discarded with the error beep, so the user mends
// the text with the keyboard before going anywhere else. The title bar and its close box are
// the window system's, outside the program's widgets, and keep working.
//
// The keyboard reaches the same places by other routes, and they are put to the page as well:
// a key that leaves the page for a widget outside it (the arrows that change tabs, Enter or
// Space on a command button) and any shortcut outside the page (Ctrl+Tab, a button's mnemonic,
// the service keys). Keys inside the page, focus moves and Escape pass, so the text can still
// be mended and the window closed.

#include <QObject>
#include <functional>

namespace m84 {

class MouseGuard : public QObject {
  Q_OBJECT
 public:
  MouseGuard(std::function<bool()> acceptsLeftClick, std::function<void()> refused, QObject* parent = nullptr);
  // The page whose keys pass unasked, or nullptr; without one every leaving key is asked.
  void SetKeyScope(std::function<const QObject*()> shownPage) { keyScope_ = std::move(shownPage); }
  ~MouseGuard() override;

  void Install();
  void Remove();
  bool Installed() const { return installed_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool Judged(QObject* watched, QEvent* event) const;

  std::function<bool()> acceptsLeftClick_;
  std::function<const QObject*()> keyScope_;
  std::function<void()> refused_;
  bool installed_ = false;
};

}  // namespace m84
