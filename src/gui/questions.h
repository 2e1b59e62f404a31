#pragma once
// The questions the window asks and the boxes it shows, behind an interface so that tests can
// answer them.

#include <QMessageBox>
#include <QPointer>
#include <QString>

class QWidget;

namespace m84 {

// What to do with edits in the pages that no file, read or write holds yet.
enum class UnsavedChoice { Save, Discard, Cancel };

class Questions {
 public:
  virtual ~Questions() = default;
  // True when the user answers yes; no is the default answer.
  virtual bool Confirm(QWidget* parent, const QString& text) = 0;
  // Save, Discard or Cancel; Cancel is the default answer.
  virtual UnsavedChoice AskUnsaved(QWidget* parent, const QString& text) = 0;
  // A failure whose reason is longer than the status line has room for: the text, and the reason
  // in a details box.
  virtual void ShowFailure(QWidget* parent, const QString& text, const QString& details) = 0;
  // Write with Review: the settings the write will change, in words (or that none will); true
  // for Write, false for Cancel, the default.
  virtual bool ConfirmWrite(QWidget* parent, const QString& changes) = 0;
  // The question open now, if any, no longer stands: it closes, answered with its default.
  virtual void Withdraw() = 0;
};

// Message boxes, titled as the window. A box still open when its question no longer stands (the
// write it asks about has ended) is closed by its owner; the answer then counts as the default.
class MessageBoxQuestions : public Questions {
 public:
  bool Confirm(QWidget* parent, const QString& text) override;
  UnsavedChoice AskUnsaved(QWidget* parent, const QString& text) override;
  void ShowFailure(QWidget* parent, const QString& text, const QString& details) override;
  bool ConfirmWrite(QWidget* parent, const QString& changes) override;
  void Withdraw() override;

 private:
  QPointer<QMessageBox> open_;
};

}  // namespace m84
