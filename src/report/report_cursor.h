#pragma once
// The pen position and line step that every report section draws through, in device units.
// One implementation draws on a printer, another lays the same drawing on a character grid.

#include <QString>

namespace m84 {

class ReportCursor {
 public:
  virtual ~ReportCursor() = default;

  int x = 600;
  int y = 600;  // top of the current line
  int lineHeight = 0;
  int charWidth = 0;

  // The common line step: one line down, then the text at (x, y).
  void PrintLine(const QString& text) {
    y += lineHeight;
    DrawText(x, y, text);
  }
  // A text in column k of the current line; y does not move.
  void DrawColumn(int k, const QString& text) { DrawText(x + k * charWidth, y, text); }

  // (x, y) is the top-left corner of the text's line.
  virtual void DrawText(int x, int y, const QString& text) = 0;
};

}  // namespace m84
