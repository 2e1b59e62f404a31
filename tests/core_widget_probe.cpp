// Compiled with the core's and the command line's include paths by a test that expects it to
// fail: a widget there must stop the build.
#include <QtWidgets/QWidget>
