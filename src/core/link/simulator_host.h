#pragma once
// Serves a simulated adapter on a pseudo-terminal, from a thread of its own, so that the real
// serial code talks to it exactly as to a USB adapter: open the device path, exchange, close.

#include <pthread.h>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "core/link/simulated_adapter.h"
#include "core/result.h"

namespace m84 {

struct SimulatorOptions {
  QString memoryFile;  // start from it when it exists, keep every change in it
  bool pace = false;   // hold every byte for its line time at 9600 baud
  FaultPlan faults;
  // A fresh pager with the next serial number after each write's end frame (SetSwap).
  bool swap = false;
  // Say on standard error when a fault pulls the cable (the simulate command; tests keep quiet).
  bool announce = false;
  // Called from the serving thread once a pulled cable has ended the serving (and the memory
  // file is saved): the simulate command ends with it.
  std::function<void()> unplugged;
};

// One byte on the line: a start bit, eight data bits and a stop bit.
constexpr double kByteLineMs = 10.0 * 1000.0 / 9600.0;

class SimulatorHost {
 public:
  struct LineCounts {
    int64_t received = 0;  // bytes from the program
    int64_t sent = 0;      // bytes to the program
  };

  explicit SimulatorHost(const SimulatorOptions& options = {});
  ~SimulatorHost();
  SimulatorHost(const SimulatorHost&) = delete;
  SimulatorHost& operator=(const SimulatorHost&) = delete;

  // The pager's memory, instead of the memory file or the built-in one; while serving, another
  // pager put into the adapter.
  void SetMemory(const PagerImage& memory);
  // Any time: the faults from now on (an empty plan: a well-behaved adapter again).
  void SetFaults(const FaultPlan& faults);

  // Opens the pseudo-terminal and starts serving; a failure carries the reason.
  Outcome Start();
  // The device path the program opens, e.g. /dev/pts/4.
  const QString& DevicePath() const { return devicePath_; }
  void Stop();

  // Snapshots, safe while serving.
  PagerImage Memory() const;
  SimulatedAdapter::Counts Counted() const;
  LineCounts Line() const;
  // CPU time the serving thread has used, in seconds.
  double ServingCpuSeconds() const;

 private:
  Outcome LoadMemoryFile();
  void Serve();
  void SaveMemoryFile(const PagerImage& memory);
  void AnnounceUnplug(int target) const;

  SimulatorOptions options_;
  mutable std::mutex mutex_;  // guards engine_ and counts_
  SimulatedAdapter engine_;
  LineCounts counts_;
  bool memoryGiven_ = false;
  QString devicePath_;
  int master_ = -1;
  int slave_ = -1;
  int wakeRead_ = -1;
  int wakeWrite_ = -1;
  std::thread thread_;
  pthread_t servingThread_{};
  bool serving_ = false;
  std::atomic<bool> stopping_{false};
};

}  // namespace m84
