#pragma once
// Pager, Adapter Ports... and Check the Connection...: what `m84dpt ports` and `m84dpt doctor`
// print, in a box of the window's. Both open serial ports and wait for the adapter's answer, so
// the check runs on a thread of its own while the box says so; the window keeps painting and its
// clock runs. The box is modal, so nothing else reaches the ports before the check has ended, and
// it closes only then.
//
//   AdapterCheckDialog box(QStringLiteral("Adapter Ports"), [port] { return AdapterPortsText(port); }, this);
//   box.exec();

#include <QDialog>
#include <QString>
#include <functional>

#include "core/doctor/connection_doctor.h"

class QPlainTextEdit;
class QPushButton;
class QThread;

namespace m84 {

// The listing `m84dpt ports --port PORT` prints, or why there is none.
QString AdapterPortsText(const QString& port);
// The table `m84dpt doctor` prints.
QString ConnectionCheckText(const DoctorOptions& options);

class AdapterCheckDialog : public QDialog {
  Q_OBJECT
 public:
  // Runs on the check's thread; its text is what the box shows.
  using Check = std::function<QString()>;

  AdapterCheckDialog(const QString& title, Check check, QWidget* parent = nullptr);
  // Waits for a check still running.
  ~AdapterCheckDialog() override;

  bool Running() const { return thread_ != nullptr; }
  QString Text() const;
  // Check &Again: a fresh run, once the last has ended.
  void Rerun();

 signals:
  void Ended();

 protected:
  // Close while the check runs: the box goes once it has ended.
  void reject() override;

 private:
  void Start();

  Check check_;
  QThread* thread_ = nullptr;
  bool closeWhenEnded_ = false;
  QPlainTextEdit* view_ = nullptr;
  QPushButton* again_ = nullptr;
};

}  // namespace m84
