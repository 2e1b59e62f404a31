#pragma once
// An order: a table of pagers, one row each, every column a setting of the settings text
// (docs/settings-format.md) written "page.key", or "page.group[n].member" for a grid's row:
//
//   label,general.capcodes[1].capcode,display.standby_text_1,general.serial
//   Ward 3 Dr. Ames,1200100,"AMES, J",0000004711
//
// A "label" column is free text that is kept with the row and never written. Every row's
// settings are applied over a template (a data file, raw image or settings text; else the default
// settings) by the pages' own store, as a settings text is, and each value is checked as the
// settings text checks it, with the same messages. An empty cell leaves the template's value.
//
//   const Order order = ReadOrder(bytes, "order.csv", templateData);
//   for (const OrderFault& fault : order.faults) print(fault.Text(order.file));

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "core/image/pager_image.h"
#include "core/pages/field_binding.h"
#include "core/pages/page_catalog.h"
#include "core/result.h"

namespace m84::fleet {

inline const QString kLabelColumn = QStringLiteral("label");
inline const QString kSerialColumn = QStringLiteral("general.serial");

// A table wider than this is no order: it has more columns than the pager has settings, and
// reading it would only bury the one fault that matters under thousands.
constexpr int kMostOrderColumns = 1000;

// What is wrong with an order, where: the row as a spreadsheet numbers it (the header is row 1)
// and the column's header, or the column's number where there is no header to name. Row 0 is
// the template's: a fault every row would have, said once.
struct OrderFault {
  int row = 0;
  QString column;
  QString message;
  bool warning = false;  // reported, but the order may run

  // "order.csv:3:general.capcodes[1].capcode: Capcode must be in range 8 to 2097151", with
  // "warning: " before the message of a warning; "order.csv: the template's general.serial: ..."
  // for the template's.
  QString Text(const QString& file) const;
};

// How the capcodes are judged. A capcode a row writes in a capcode column is its pager's own
// address, and the same value in two rows is a fault; a column named here holds a call that
// several pagers share (a ward's call, a crash team's), whose equal values are a group.
struct OrderOptions {
  QStringList shared;  // "general.capcodes[2].capcode"
};

// A capcode several pagers answer by design: one that every row takes from the template, a
// public one (Private off), or a value of a shared column.
struct GroupCall {
  int capcode = 0;
  QString column;         // the shared column's header; empty for the template's and public ones
  std::vector<int> rows;  // the pagers that answer it, by row
};

struct OrderColumn {
  QString header;
  bool label = false;
  PageId page = PageId::General;
  const FieldBinding* binding = nullptr;  // nothing: the label, or a column that is refused
};

struct OrderRow {
  int row = 0;  // as a spreadsheet numbers it
  QString label;
  QStringList cells;  // as the file holds them, for the delivery list
  PagerData data;     // the template with the row's settings
  // The row's serial number is written into the pager (a general.serial cell, or the template's
  // box says not to keep the pager's own); otherwise the pager keeps its own.
  bool writesSerial = false;
  QString serial;                // the image's, which is the pager's when writesSerial
  std::vector<int> capcodes;     // the enabled rows', in row order
  std::vector<int> capcodeRows;  // their rows, from 1
  // Changes whenever what the row would write changes (its cells or the template).
  QByteArray fingerprint;
};

struct Order {
  QString file;
  QString name;
  QStringList headers;
  std::vector<OrderColumn> columns;
  std::vector<OrderRow> rows;
  std::vector<OrderFault> faults;  // refusals and warnings, by row
  OrderOptions options;
  std::vector<GroupCall> groupCalls;  // by capcode

  bool Refused() const;
  const OrderRow* Row(int row) const;
};

// An order's name when none is given: the file's name without its folder and extension.
QString OrderNameOf(const QString& path);

// "group calls: 1234568 (40 pagers), 1400000 (general.capcodes[2].capcode: rows 2, 5)"; empty
// when the order has none.
QString GroupCallSummary(const Order& order);

// A --shared column that is no capcode column of the catalogue: the reason; else empty.
QString SharedColumnRefusal(const QString& column);

// The settings key path of a grid's member or a page's setting: "general.capcodes[1].capcode".
QString ColumnNameOf(PageId page, const FieldBinding& binding);

// The template's settings: a data file, raw image or settings text (read over the default
// settings); the default settings for an empty path. The failure's reason names the file (and a
// settings text's line and column).
Result<PagerData> LoadOrderTemplate(const QString& path);

// The order's file read and its rows built over the template.
Result<Order> LoadOrder(const QString& path, const PagerData& templateData, const OrderOptions& options = {});

// The order read and every row built over the template; a table with faults still gives every
// row it could build (a row with a refused value is left out of rows).
Order ReadOrder(const QByteArray& bytes, const QString& file, const PagerData& templateData,
                const OrderOptions& options = {});

}  // namespace m84::fleet
