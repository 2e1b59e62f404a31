#pragma once
#include <QStringList>

namespace m84 {

// The command named by arguments[1], or nothing when arguments[1] names no command (the window).
struct CommandEntry {
  const char* name;
  int (*run)(const QStringList& arguments);
};

const CommandEntry* FindCommand(const QStringList& arguments);

}  // namespace m84
