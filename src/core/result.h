#pragma once
// One way to fail, across every layer: a result is a value, or a failure that carries the status
// text the user sees and the reason behind it. Nothing throws across a layer.

#include <QString>
#include <optional>
#include <utility>
#include <variant>

namespace m84 {

struct Failure {
  // The status text as the window and the command line show it ("Save data file error"); empty
  // where the operation has none of its own and the reason says it all.
  QString status;
  // Why, in the system's or our own words ("No space left on device"); empty when the status
  // text says it all.
  QString reason;

  // "status: reason", or whichever of the two there is.
  QString Text() const {
    if (status.isEmpty()) return reason;
    if (reason.isEmpty()) return status;
    return status + QStringLiteral(": ") + reason;
  }
};

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::move(value)) {}
  Result(Failure failure) : state_(std::move(failure)) {}

  explicit operator bool() const { return std::holds_alternative<T>(state_); }
  const T& value() const& { return std::get<T>(state_); }
  T& value() & { return std::get<T>(state_); }
  T&& value() && { return std::get<T>(std::move(state_)); }
  const T* operator->() const { return &value(); }
  const T& operator*() const& { return value(); }
  const Failure& failure() const { return std::get<Failure>(state_); }

 private:
  std::variant<T, Failure> state_;
};

// A result that carries no value: done, or a failure.
struct Done {};
using Outcome = Result<Done>;
inline Outcome Succeeded() { return Done{}; }
inline Failure Failed(QString status, QString reason = QString()) { return {std::move(status), std::move(reason)}; }

}  // namespace m84
