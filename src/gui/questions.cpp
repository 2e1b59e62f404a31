#include "gui/questions.h"

#include <QPushButton>
#include <QWidget>

namespace m84 {

namespace {

QString TitleFor(QWidget* parent) { return parent ? parent->window()->windowTitle() : QString(); }

// The box's answer; escape when it was closed without one.
QMessageBox::StandardButton Ask(QPointer<QMessageBox>& open, QMessageBox& box, QMessageBox::StandardButton escape) {
  box.setEscapeButton(escape);
  box.setDefaultButton(escape);
  open = &box;
  const int answer = box.exec();
  open.clear();
  return box.clickedButton() ? static_cast<QMessageBox::StandardButton>(answer) : escape;
}

}  // namespace

bool MessageBoxQuestions::Confirm(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, TitleFor(parent), text, QMessageBox::Yes | QMessageBox::No, parent);
  return Ask(open_, box, QMessageBox::No) == QMessageBox::Yes;
}

UnsavedChoice MessageBoxQuestions::AskUnsaved(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, TitleFor(parent), text,
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
  switch (Ask(open_, box, QMessageBox::Cancel)) {
    case QMessageBox::Save: return UnsavedChoice::Save;
    case QMessageBox::Discard: return UnsavedChoice::Discard;
    default: return UnsavedChoice::Cancel;
  }
}

void MessageBoxQuestions::ShowFailure(QWidget* parent, const QString& text, const QString& details) {
  QMessageBox box(QMessageBox::Warning, TitleFor(parent), text, QMessageBox::Ok, parent);
  box.setDetailedText(details);
  box.exec();
}

bool MessageBoxQuestions::ConfirmWrite(QWidget* parent, const QString& changes) {
  QMessageBox box(QMessageBox::Question, TitleFor(parent), changes, QMessageBox::Cancel, parent);
  QPushButton* write = box.addButton(QStringLiteral("&Write"), QMessageBox::AcceptRole);
  box.setEscapeButton(QMessageBox::Cancel);
  box.setDefaultButton(QMessageBox::Cancel);
  open_ = &box;
  box.exec();
  open_.clear();
  return box.clickedButton() == write;
}

void MessageBoxQuestions::Withdraw() {
  if (open_) open_->reject();
}

}  // namespace m84
