#pragma once
// The open and save dialogs, behind an interface so that tests can answer them.

#include <QString>

class QWidget;

namespace m84 {

class FileDialogs {
 public:
  virtual ~FileDialogs() = default;
  // An empty result means the user cancelled.
  virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
  virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
};

// Qt's dialogs, starting in the folder last chosen in this session, else the documents folder;
// never asking before replacing a file.
class QtFileDialogs : public FileDialogs {
 public:
  QString OpenFileName(QWidget* parent, const QString& title, const QString& filter) override;
  QString SaveFileName(QWidget* parent, const QString& title, const QString& filter) override;

 private:
  QString StartFolder() const;
  void Remember(const QString& path);

  QString currentPath_;
};

}  // namespace m84
