#pragma once
// The yes-or-no questions the window asks, behind an interface so that tests can answer them.

#include <QString>

class QWidget;

namespace m84 {

class Questions {
 public:
  virtual ~Questions() = default;
  // True when the user answers yes; no is the default answer.
  virtual bool Confirm(QWidget* parent, const QString& text) = 0;
};

// A message box with Yes and No, titled as the window.
class MessageBoxQuestions : public Questions {
 public:
  bool Confirm(QWidget* parent, const QString& text) override;
};

}  // namespace m84
