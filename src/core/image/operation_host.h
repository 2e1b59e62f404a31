#pragma once
// What a user operation (load, save, read, write, dump, ...) needs from whoever runs it:
// the status line, the beeps and the progress bar. The window and the command line each provide
// one. The pages are not the operation's: its caller stores them before and loads them after.

#include <QString>

namespace m84 {

enum class Beep { Error, Confirm };

// 1 = the pages store their controls into the image, 0 = they load them from it.
enum class Direction { Load = 0, Store = 1 };

class OperationHost {
 public:
  virtual ~OperationHost() = default;
  virtual void ShowStatus(const QString& text) = 0;
  virtual void Sound(Beep beep) = 0;
  virtual void SetProgress(int /*position 0..16*/) {}
  // Beside the fixed status texts of a load or save: the file it was about and the system's
  // reason it failed, or the file a save wrote. The status line has no room for them (the
  // window leaves them out); the command line prints them.
  virtual void ShowFileProblem(const QString& /*path*/, const QString& /*reason*/) {}
  virtual void ShowFileSaved(const QString& /*path*/) {}
};

}  // namespace m84
