#pragma once
// The pen position and line step that every report section draws through, in device units.
// One implementation draws on a printer, another lays the same drawing on a character grid.

#include <QString>

namespace m84 {

// Where every printed page starts its lines, in device units from the printable area's corner.
constexpr int kPageMargin = 600;

class ReportCursor {
 public:
  virtual ~ReportCursor() = default;

  int x = kPageMargin;
  int y = kPageMargin;  // top of the current line
  int lineHeight = 0;   // measured once per job, before the first page
  int charWidth = 0;

  // The common line step: one line down, then the text at (x, y).
  void PrintLine(const QString& text) {
    y += lineHeight;
    DrawText(x, y, text);
  }
  // A text in column k of the current line; y does not move.
  void DrawColumn(int k, const QString& text) { DrawText(x + k * charWidth, y, text); }

  // A section with a second column remembers the line it starts at and comes back to it.
  int LinePosition() const { return y; }
  void ReturnToLine(int position) { y = position; }

  // (x, y) is the top-left corner of the text's line.
  virtual void DrawText(int x, int y, const QString& text) = 0;

  // Every printed page is begun before its first text and ended after its last.
  virtual void BeginPage() {}
  // False when the device could not finish the page.
  virtual bool EndPage() { return true; }
};

}  // namespace m84
