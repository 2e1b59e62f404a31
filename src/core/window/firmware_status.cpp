#include "core/window/firmware_status.h"

#include <chrono>

#include "core/status_texts.h"

namespace m84 {

namespace {

using Counter = std::chrono::steady_clock;

constexpr int kFirmwareMessageOffset = 0x100;  // as in WM_USER + 0x100

struct ResultText {
  int code;
  const char* format;
  bool timed;
};

const ResultText kResultTexts[] = {
    {kFirmwareProgramOk, kFirmwareProgramSuccessText, true},
    {kFirmwareProgramError, kFirmwareProgramErrorText, false},
    {kFirmwareReadOk, kFirmwareReadSuccessText, true},
    {kFirmwareReadError, kFirmwareReadErrorText, false},
};

}  // namespace

const QEvent::Type FirmwareStatusEvent::kType = static_cast<QEvent::Type>(QEvent::User + kFirmwareMessageOffset);

int64_t ReadCounter() { return Counter::now().time_since_epoch().count(); }

int64_t CounterFrequency() { return Counter::period::den / Counter::period::num; }

std::optional<QString> FirmwareResultText(int code, double elapsedSeconds) {
  for (const ResultText& entry : kResultTexts) {
    if (entry.code != code) continue;
    if (!entry.timed) return QString::fromLatin1(entry.format);
    return QString::asprintf(entry.format, elapsedSeconds);
  }
  return std::nullopt;
}

FirmwareStatus::FirmwareStatus(Sinks sinks, QObject* parent) : QObject(parent), sinks_(std::move(sinks)) {}

int FirmwareStatus::Receive(int code) {
  if (code <= kFirmwareProgressLimit) {
    if (sinks_.setProgress) sinks_.setProgress(code);
    if (sinks_.showStatus) sinks_.showStatus(progressText_);
    return 0;
  }
  if (const std::optional<QString> text = FirmwareResultText(code, ElapsedSeconds()); text && sinks_.showStatus)
    sinks_.showStatus(*text);
  // The transfer is over whatever its outcome; the next presence check opens the port afresh.
  if (sinks_.closePort) sinks_.closePort();
  return 0;
}

double FirmwareStatus::ElapsedSeconds() const {
  return static_cast<double>(endCount_ - startCount_) / static_cast<double>(CounterFrequency());
}

bool FirmwareStatus::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != FirmwareStatusEvent::kType) return QObject::eventFilter(watched, event);
  Receive(static_cast<FirmwareStatusEvent*>(event)->Code());
  return true;
}

}  // namespace m84
