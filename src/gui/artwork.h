#pragma once
// The program's own pictures, drawn in code so that they scale with the screen.

#include <QIcon>
#include <QWidget>

namespace m84 {

QIcon ProgramIcon();

// The banner across the top of the main window.
class Banner : public QWidget {
 public:
  explicit Banner(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace m84
