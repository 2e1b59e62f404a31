#include "gui/questions.h"

#include <QMessageBox>
#include <QWidget>

namespace m84 {

bool MessageBoxQuestions::Confirm(QWidget* parent, const QString& text) {
  const QString title = parent ? parent->window()->windowTitle() : QString();
  return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
         QMessageBox::Yes;
}

}  // namespace m84
