#pragma once
// A settings page without its controls: its variables, how they map onto the image, and its
// report section. The window's page binds controls to these variables; the command line and
// the tests use the model alone.

#include <QSet>
#include <memory>

#include "core/image/pager_image.h"
#include "core/pages/field_binding.h"
#include "core/pages/page_catalog.h"
#include "core/pages/page_values.h"
#include "core/report_cursor.h"

namespace m84 {

class PageModel {
 public:
  virtual ~PageModel() = default;

  PageId Id() const { return id_; }
  PageValues& Values() { return values_; }
  const PageValues& Values() const { return values_; }

  // Direction 0: every field from the image into the variables.
  void Load(const PagerData& data);
  // Direction 1: every field the page owns from the variables into the image. A page that was
  // never loaded has no variables to write and leaves the image alone.
  void Store(PagerData& data);
  bool Loaded() const { return loaded_; }
  // Whether the controls show the variable as a store left it (field_binding.h); variables of
  // the rules always are.
  bool ShowsStoredValue(const QString& key);

  // The binding table: every variable the page loads and stores, with its form in words.
  const BindingTable& Table() const;
  // The row of a variable in the table, or nullptr.
  const FieldBinding* Row(const QString& key);

  // Draws the section from the variables; the caller stores the page first. A page prints its
  // heading, its rows' lines (PrintRows) and what no row says.
  virtual void PrintSection(ReportCursor& report) const = 0;
  // A row's report lines from the variables as they stand; none for a row without a report.
  QStringList ReportLines(const FieldBinding& row) const;

 protected:
  explicit PageModel(PageId id) : id_(id) {}

  // The page's binding table, run in table order on load and on store.
  virtual BindingTable Bindings() const = 0;
  // The rows' report lines, in table order.
  void PrintRows(ReportCursor& report) const;
  // For a page whose report order is not its table's (the table's is also the settings text's):
  // the rows of the keys first, in that order, then every other reported row in table order, so
  // that a row given a report line later shows in the report with no change here.
  void PrintRows(ReportCursor& report, const QStringList& first) const;
  // The report lines of one grid's rows (form.group), in table order, for a section that lays
  // the grid out itself: in columns, or beside another part of it.
  QStringList GridLines(const QString& group) const;
  // Every reported row outside the grids the section laid out itself, in table order: a row
  // given a report line later beside such grids reaches the report with no change here.
  void PrintRowsOutside(ReportCursor& report, const QStringList& laidOutGroups) const;

  // What the table cannot say, run after the table.
  virtual void LoadRules(const PagerData& /*data*/) {}
  virtual void StoreRules(PagerData& /*data*/) {}

 private:
  PageId id_;
  PageValues values_;
  // Made on first use, also by a const page printing its section.
  mutable std::unique_ptr<BindingTable> table_;
  mutable QSet<QString> storedValuesNotShown_;
  bool loaded_ = false;
};

// The model of each page.
std::unique_ptr<PageModel> CreatePageModel(PageId id);

}  // namespace m84
