#pragma once
// A one-line progress bar on standard error, drawn only when standard error is a terminal:
// scripts and CI logs get the status texts alone.

#include <cstdio>

namespace m84 {

class TerminalProgress {
 public:
  TerminalProgress();
  // For tests: draw on this stream whether or not it is a terminal.
  TerminalProgress(std::FILE* stream, bool enabled) : stream_(stream), enabled_(enabled) {}
  ~TerminalProgress() { Clear(); }

  // position 0..16, as the window's bar; 0 clears the bar.
  void Show(int position);
  // Before a status line goes out, so that it does not land in the middle of the bar.
  void Clear();

 private:
  std::FILE* stream_;
  bool enabled_;
  bool drawn_ = false;
};

}  // namespace m84
