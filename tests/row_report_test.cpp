// The report lines a page takes from its rows: in table order, or led by the rows of a report
// order, and a grid's lines alone for a section that lays them out itself.

#include <gtest/gtest.h>

#include "core/pages/field_codecs.h"
#include "page_model_helpers.h"

using namespace m84;

namespace {

// A page of every kind of reported row, printing in the order it is given.
class RowsPage : public PageModel {
 public:
  explicit RowsPage(QStringList order) : PageModel(PageId::Reminders), order_(std::move(order)) {
    Values().Set(QStringLiteral("flag"), true);
    Values().Set(QStringLiteral("entry"), 1);
    Values().Set(QStringLiteral("text"), QStringLiteral(" ab "));
    Values().Set(QStringLiteral("silent"), true);
    Values().Set(QStringLiteral("cell0"), false);
    Values().Set(QStringLiteral("cell1"), true);
  }
  void PrintSection(ReportCursor& report) const override { PrintRows(report, order_); }
  QStringList LinesOfGrid(const QString& group) const { return GridLines(group); }

 protected:
  BindingTable Bindings() const override {
    return {
        field::Rule(QStringLiteral("flag"), SettingKind::Flag).Reported(QStringLiteral("Flag: %1"), Wording::YesNo),
        field::Rule(QStringLiteral("entry"), SettingKind::Entry)
            .Entries({QStringLiteral("first"), QStringLiteral("second")})
            .Reported(QStringLiteral("Entry: %1"), Wording::Entry),
        field::Rule(QStringLiteral("silent"), SettingKind::Flag),
        field::Rule(QStringLiteral("cell0"), SettingKind::Flag)
            .InRow(QStringLiteral("grid"), 0, QStringLiteral("Row 1"), QStringLiteral("cell"))
            .Reported(QStringLiteral("Cell 1: %1"), Wording::EnableDisable),
        field::Rule(QStringLiteral("text"), SettingKind::Text).Reported(QStringLiteral("Text: [%1]"), Wording::Text),
        field::Rule(QStringLiteral("cell1"), SettingKind::Flag)
            .InRow(QStringLiteral("grid"), 1, QStringLiteral("Row 2"), QStringLiteral("cell"))
            .ReportedBy([](const PageValues& v) {
              return QStringList{QStringLiteral("Cell 2: %1").arg(EnableText(v.Flag(QStringLiteral("cell1")))),
                                 QStringLiteral("Cell 2 again")};
            }),
    };
  }

 private:
  QStringList order_;
};

struct OrderCase {
  const char* name;
  QStringList order;
  QStringList lines;
};

class RowReportOrder : public testing::TestWithParam<OrderCase> {};

TEST_P(RowReportOrder, NamedRowsLeadAndEveryOtherReportedRowFollowsInTableOrder) {
  const RowsPage page(GetParam().order);
  EXPECT_EQ(page_test::SectionLines(page), GetParam().lines);
}

const QStringList kTableOrder = {QStringLiteral("Flag: Yes"),       QStringLiteral("Entry: second"),
                                 QStringLiteral("Cell 1: Disable"), QStringLiteral("Text: [ ab ]"),
                                 QStringLiteral("Cell 2: Enable "), QStringLiteral("Cell 2 again")};

INSTANTIATE_TEST_SUITE_P(Rows, RowReportOrder,
                         testing::Values(OrderCase{"TableOrder", {}, kTableOrder},
                                         OrderCase{"Led",
                                                   {QStringLiteral("text"), QStringLiteral("flag")},
                                                   {QStringLiteral("Text: [ ab ]"), QStringLiteral("Flag: Yes"),
                                                    QStringLiteral("Entry: second"), QStringLiteral("Cell 1: Disable"),
                                                    QStringLiteral("Cell 2: Enable "), QStringLiteral("Cell 2 again")}},
                                         // A key without a line, or without a row, prints nothing and moves nothing.
                                         OrderCase{"SilentAndUnknownKeys",
                                                   {QStringLiteral("silent"), QStringLiteral("nowhere")},
                                                   kTableOrder}),
                         [](const testing::TestParamInfo<OrderCase>& info) { return std::string(info.param.name); });

TEST(RowReportGrid, GivesOneGridsLinesInTableOrder) {
  const RowsPage page({});
  EXPECT_EQ(page.LinesOfGrid(QStringLiteral("grid")),
            (QStringList{QStringLiteral("Cell 1: Disable"), QStringLiteral("Cell 2: Enable "),
                         QStringLiteral("Cell 2 again")}));
  EXPECT_TRUE(page.LinesOfGrid(QStringLiteral("other")).isEmpty());
}

// A section that lays its grid out itself still prints every other reported row, in table order.
class GridLaidOutPage : public RowsPage {
 public:
  GridLaidOutPage() : RowsPage({}) {}
  void PrintSection(ReportCursor& report) const override {
    report.PrintLine(QStringLiteral("grid first"));
    PrintRowsOutside(report, {QStringLiteral("grid")});
  }
};

TEST(RowReportGrid, RowsOutsideALaidOutGridFollowIt) {
  EXPECT_EQ(page_test::SectionLines(GridLaidOutPage()),
            (QStringList{QStringLiteral("grid first"), QStringLiteral("Flag: Yes"), QStringLiteral("Entry: second"),
                         QStringLiteral("Text: [ ab ]")}));
}

// Whatever a page lays out itself, a row declared with a report line shows in its section.
TEST(RowReportAllPages, EveryReportedRowReachesItsSection) {
  for (int at = 0; at <= int(PageId::Basic); ++at) {
    SCOPED_TRACE(at);
    PagerData data;
    std::unique_ptr<PageModel> page = CreatePageModel(PageId(at));
    page->Load(data);
    const QString section = page_test::SectionLines(*page).join(QLatin1Char('\n'));
    for (const FieldBinding& row : page->Table())
      for (const QString& line : page->ReportLines(row))
        EXPECT_TRUE(section.contains(line.trimmed())) << row.key.toStdString() << ": " << line.toStdString();
  }
}

}  // namespace
