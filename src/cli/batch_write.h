#pragma once
// Programming a batch of pagers from one data file: write and verify each, then step the
// file's capcodes by its Auto Increment selections, the rule of "Manually Increment", and save
// the file, so that the next run (or the next pager of this one) gets the next capcodes.
//
//   m84dpt write FILE --increment --count N
//   m84dpt write FILE --same-capcodes --count N      (identical pagers, on purpose)

#include <QCommandLineOption>
#include <QString>
#include <functional>
#include <optional>

#include "cli/command_line.h"
#include "core/fleet/order_state.h"
#include "core/history/pager_history.h"
#include "core/link/adapter_link.h"

namespace m84 {

class TransferInterrupts;

QCommandLineOption IncrementOption();
QCommandLineOption CountOption();
QCommandLineOption SameCapcodesOption();
QCommandLineOption BatchClaimTimeoutOption();

struct BatchPlan {
  QString file;
  QString base;  // a settings-text FILE is read over this file's settings; empty: the defaults
  bool increment = false;
  bool sameCapcodes = false;  // identical pagers asked for: no step is needed
  int count = 1;
  std::optional<bool> keepSerial;   // nothing: the file's own keep-serial-number box decides
  bool backup = false;              // each pager read whole and recorded before its write
  PagerHistory* history = nullptr;  // nothing: no record kept
  // Where an --increment batch keeps its progress (the history's store); nothing: not kept.
  std::optional<HistoryLocation> orderStore;
  // A pager of the batch left taken by a run that went away (killed, its machine switched off)
  // is given back after this long, as an order's row is.
  int claimTimeoutSeconds = fleet::kStaleClaimSeconds;
  QString port;  // the adapter's device as named; empty: the one found when it is opened
};

// Between pagers: asks for the next one (pager `next` of `count`); false ends the batch.
using AwaitNextPager = std::function<bool(int next, int count)>;

// Runs the batch on the link; the exit code: 0 all written, 1 a failure or the batch stopped,
// 130 interrupted, 129 the terminal closed (after the pager being written was finished).
// Before the first write: a batch whose steps are all 0 is refused (unless sameCapcodes), the
// plan is printed, and FILE must be replaceable when --increment will save it. A pager that
// fails leaves FILE as it was, and the batch stops there. A pager that answers with the serial
// number of the one just written is the same pager still seated: the prompt comes again.
int WriteBatch(const BatchPlan& plan, AdapterLink& link, const AwaitNextPager& awaitNext,
               TransferInterrupts* interrupts = nullptr);

// The write command with --increment or --count: the options already parsed.
int RunBatchWrite(const CommandParser& parser);

}  // namespace m84
