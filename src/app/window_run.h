#pragma once
#include <QApplication>

#include "cli/window_arguments.h"

namespace m84 {

// The window path of the program: start-up, the main window until it closes.
int RunWindowProgram(QApplication& app, const WindowArguments& window);

}  // namespace m84
