#pragma once
// The mouse guard of advanced mode: while installed, every left-button press on any of the
// program's widgets is first put to the page shown. A page that refuses (the Over The Air page
// with an unusable command text) has the press discarded with the error beep, so the user mends
// the text with the keyboard before going anywhere else. The title bar and its close box are
// the window system's, outside the program's widgets, and keep working.

#include <QObject>
#include <functional>

namespace m84 {

class MouseGuard : public QObject {
  Q_OBJECT
 public:
  MouseGuard(std::function<bool()> acceptsLeftClick, std::function<void()> refused, QObject* parent = nullptr);
  ~MouseGuard() override;

  void Install();
  void Remove();
  bool Installed() const { return installed_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::function<bool()> acceptsLeftClick_;
  std::function<void()> refused_;
  bool installed_ = false;
};

}  // namespace m84
