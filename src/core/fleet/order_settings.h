#pragma once
// What an order keeps from its first check or run, in the programming history's store beside
// its rows (the table fleet_orders): the template it was read over and the capcode columns it
// shares. Every bench and every later command (status, export, the window's order view) then
// reads the rows over the same template without being told it again, and a bench given another
// template is refused rather than programming pagers that differ from the order's first ones.
//
//   HistoryStore store(location);
//   Result<std::optional<OrderSettings>> kept = KeptOrderSettings(store, order.name);
//   ... KeepOrderSettings(store, order.name, settings);

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <optional>

#include "core/history/history_store.h"
#include "core/image/pager_image.h"
#include "core/result.h"

namespace m84::fleet {

struct OrderSettings {
  PagerData templateData;
  QString templateFile;  // as it was named, for the messages; empty for the default settings
  QStringList shared;    // the shared capcode columns
  QDateTime updated;
  QString user;
  QString host;
};

// Whether the store may hold anything yet: a SQLite file that is not there holds no order, and
// asking must not make one (a check that finds faults leaves no store behind).
bool StoreMayHoldOrders(const HistoryLocation& location);

// The order's settings as its first check or run kept them; nothing when none were kept.
Result<std::optional<OrderSettings>> KeptOrderSettings(HistoryStore& store, const QString& order);
// The order's settings kept (the time, user and host now), replacing any kept before.
Outcome KeepOrderSettings(HistoryStore& store, const QString& order, const OrderSettings& settings);

// The differences between the kept template and another, one line each as "diff" prints them;
// empty when they are the same.
QStringList TemplateDifferences(const PagerData& kept, const PagerData& given);

// "order ward was first read over template ward.DAT (2026-12-11 09:12:40 UTC, kim@bench-1);
// template other.yaml differs:" and each difference indented on a line of its own.
QString TemplateDiffers(const QString& order, const OrderSettings& kept, const QString& givenFile,
                        const QStringList& differences);

}  // namespace m84::fleet
