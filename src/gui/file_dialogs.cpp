#include "gui/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace m84 {

QString QtFileDialogs::OpenFileName(QWidget* parent, const QString& title, const QString& filter) {
  const QString path = QFileDialog::getOpenFileName(parent, title, StartFolder(), filter);
  Remember(path);
  return path;
}

QString QtFileDialogs::SaveFileName(QWidget* parent, const QString& title, const QString& filter) {
  const QString path =
      QFileDialog::getSaveFileName(parent, title, StartFolder(), filter, nullptr, QFileDialog::DontConfirmOverwrite);
  Remember(path);
  return path;
}

QString QtFileDialogs::StartFolder() const {
  if (!currentPath_.isEmpty()) return currentPath_;
  return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void QtFileDialogs::Remember(const QString& path) {
  if (!path.isEmpty()) currentPath_ = QFileInfo(path).absolutePath();
}

}  // namespace m84
