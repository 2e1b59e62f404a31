#pragma once
// Records what an operation or a transfer reports instead of showing and sounding it, and what
// its caller did with the pages.

#include <QStringList>
#include <vector>

#include "core/link/adapter_link.h"
#include "core/pages/model_page_set.h"

namespace m84 {

struct RecordingHost : TransferHost, PageExchange {
  QStringList statuses;
  std::vector<Beep> beeps;
  std::vector<int> progress;
  std::vector<Direction> exchanges;
  QStringList fileProblems;  // "path: reason"
  QStringList savedFiles;
  bool keepSerial = false;  // the write's option

  void ShowStatus(const QString& text) override { statuses << text; }
  void Sound(Beep beep) override { beeps.push_back(beep); }
  void SetProgress(int position) override { progress.push_back(position); }
  void ExchangeAllPages(Direction direction) override { exchanges.push_back(direction); }
  void ShowFileProblem(const QString& path, const QString& reason) override { fileProblems << path + ": " + reason; }
  void ShowFileSaved(const QString& path) override { savedFiles << path; }
  WriteOptions Options() const { return WriteOptions{keepSerial}; }
};

}  // namespace m84
