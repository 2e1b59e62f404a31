#include "gui/adapter_checks.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <memory>

#include "core/link/port_listing.h"

namespace m84 {

namespace {

const QString kChecking = QStringLiteral("Checking...");
// The same words as the command line's "m84dpt: no serial port found".
const QString kNoSerialPort = QStringLiteral("No serial port found.");

}  // namespace

QString AdapterPortsText(const QString& port) {
  const std::vector<PortProbe> probes = ProbeSerialPorts(port);
  return probes.empty() ? kNoSerialPort : QString::fromLocal8Bit(PortListing(probes));
}

QString ConnectionCheckText(const DoctorOptions& options) { return DoctorTable(RunConnectionDoctor(options)); }

AdapterCheckDialog::AdapterCheckDialog(const QString& title, Check check, QWidget* parent)
    : QDialog(parent), check_(std::move(check)) {
  setWindowTitle(title);
  auto* layout = new QVBoxLayout(this);
  view_ = new QPlainTextEdit(this);
  view_->setReadOnly(true);
  view_->setAccessibleName(title);
  view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view_->setLineWrapMode(QPlainTextEdit::NoWrap);
  view_->setMinimumSize(640, 260);
  layout->addWidget(view_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  again_ = buttons->addButton(QStringLiteral("Check &Again"), QDialogButtonBox::ActionRole);
  connect(again_, &QPushButton::clicked, this, &AdapterCheckDialog::Rerun);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  Start();
}

AdapterCheckDialog::~AdapterCheckDialog() {
  if (!thread_) return;
  thread_->disconnect(this);
  thread_->wait();
  delete thread_;
}

QString AdapterCheckDialog::Text() const { return view_->toPlainText(); }

void AdapterCheckDialog::Rerun() {
  if (!Running()) Start();
}

void AdapterCheckDialog::reject() {
  if (Running()) {
    closeWhenEnded_ = true;
    return;
  }
  QDialog::reject();
}

void AdapterCheckDialog::Start() {
  view_->setPlainText(kChecking);
  again_->setEnabled(false);
  // Shared with the thread, which may end after a box destroyed while it waited.
  auto text = std::make_shared<QString>();
  thread_ = QThread::create([check = check_, text] { *text = check(); });
  connect(thread_, &QThread::finished, this, [this, text] {
    thread_->deleteLater();
    thread_ = nullptr;
    view_->setPlainText(*text);
    again_->setEnabled(true);
    emit Ended();
    if (closeWhenEnded_) QDialog::reject();
  });
  thread_->start();
}

}  // namespace m84
