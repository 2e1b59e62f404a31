// Put ahead of Qt's own headers for the core and the command line: any Qt Gui, Widgets,
// PrintSupport or Svg header reached from there stops the build here.
#error "the core and the command line use no display: move this code into src/gui"
