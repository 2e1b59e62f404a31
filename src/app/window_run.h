#pragma once
#include <QApplication>
#include <QStringList>

namespace m84 {

// The window path of the program: options, start-up, the main window until it closes.
int RunWindowProgram(QApplication& app, const QStringList& arguments);

}  // namespace m84
