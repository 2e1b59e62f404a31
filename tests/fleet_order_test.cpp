// An order's table read as a spreadsheet exports it, each row's settings over the template, and
// every fault of an order found at once, with its row and column.
#include <gtest/gtest.h>

#include "core/fleet/fleet_order.h"
#include "core/fleet/order_csv.h"
#include "core/history/history_record.h"
#include "core/pages/field_codecs.h"
#include "core/pages/general_page.h"
#include "core/settings/settings_document.h"
#include "order_template.h"
#include "qstring_printer.h"

using namespace m84;
using namespace m84::fleet;

namespace {

// The default settings with capcode rows 2 to 8 disabled, so that a row's capcode 1 is its only
// address.
PagerData OneCapcodeTemplate() {
  const SettingsReadResult read = ReadSettingsDocument(kOneCapcodeTemplate, PagerData());
  EXPECT_TRUE(read) << read.error.Text().toStdString();
  return *read.data;
}

QStringList FaultTexts(const Order& order) {
  QStringList texts;
  for (const OrderFault& fault : order.faults) texts << fault.Text(QStringLiteral("order.csv"));
  return texts;
}

HistoryRecord Searched(const PagerData& data) {
  HistoryRecord record;
  record.data = data;
  FillSearchColumns(record);
  return record;
}

TEST(OrderCsv, QuotedFieldsLineBreaksAndByteOrderMarkAsASpreadsheetWritesThem) {
  const CsvTable table = ParseCsv(
      "\xEF\xBB\xBF"
      "a,b,c\r\n"
      "\"x, y\",\"say \"\"hi\"\"\",\"two\r\nlines\"\r\n"
      ",,\r\n"  // a blank row under the table
      "1,,3\n"
      "\xC3\xA9,\"\",last");  // no line end after the last record
  ASSERT_TRUE(table.faults.empty()) << table.faults.front().message.toStdString();
  ASSERT_EQ(table.records.size(), 4u);
  EXPECT_EQ(table.records[0].fields, QStringList({"a", "b", "c"}));
  EXPECT_EQ(table.records[1].fields, QStringList({"x, y", "say \"hi\"", "two\r\nlines"}));
  EXPECT_EQ(table.records[2].row, 4);  // the blank row keeps its number
  EXPECT_EQ(table.records[2].fields, QStringList({"1", "", "3"}));
  EXPECT_EQ(table.records[3].fields, QStringList({QStringLiteral("\u00E9"), "", "last"}));
  // What the delivery list writes reads back the same.
  QByteArray written;
  for (const CsvRecord& record : table.records) written += CsvLine(record.fields);
  const CsvTable again = ParseCsv(written);
  ASSERT_EQ(again.records.size(), table.records.size());
  for (size_t i = 0; i < again.records.size(); ++i) EXPECT_EQ(again.records[i].fields, table.records[i].fields);
}

TEST(FleetOrder, EachRowGetsItsSettingsOverTheTemplateAndKeepsItsLabel) {
  const PagerData templateData = OneCapcodeTemplate();
  const Order order = ReadOrder(
      "label,general.capcodes[1].capcode,display.standby_text_1,folders.folders[3].name,general.serial\r\n"
      "\"Ames, J\",1200100,AMES,Ward 3,0000004711\r\n"
      "Beck,1200108,,,\r\n",
      QStringLiteral("/orders/hospital.csv"), templateData);
  EXPECT_TRUE(order.faults.empty()) << FaultTexts(order).join('\n').toStdString();
  EXPECT_EQ(order.name, "hospital");
  ASSERT_EQ(order.rows.size(), 2u);

  const OrderRow& ames = order.rows[0];
  EXPECT_EQ(ames.row, 2);
  EXPECT_EQ(ames.label, "Ames, J");
  EXPECT_EQ(ames.capcodes, std::vector<int>{1200100});
  EXPECT_TRUE(ames.writesSerial);
  EXPECT_EQ(ames.serial, "0000004711");
  // The settings the row gives are the settings text's; the rest are the template's.
  const QStringList changes = SettingsDifferences(templateData, ames.data);
  EXPECT_EQ(changes, QStringList({"General / Capcode 1 / Capcode: 1234567 \u2192 1200100",
                                  "General / Serial Number: \"1234567890\" \u2192 \"0000004711\"",
                                  "Display / Standby Text 1ST: \"DR. Nora Clifts\" \u2192 \"AMES\"",
                                  "Folders / Folder 3 / Name: \"PubHolder 03\" \u2192 \"Ward 3\""}))
      << changes.join('\n').toStdString();

  // Empty cells leave the template's values; without a serial number the template's box keeps
  // the pager's own.
  const OrderRow& beck = order.rows[1];
  EXPECT_EQ(SettingsDifferences(templateData, beck.data),
            QStringList({"General / Capcode 1 / Capcode: 1234567 \u2192 1200108"}));
  EXPECT_FALSE(beck.writesSerial);
  EXPECT_NE(ames.fingerprint, beck.fingerprint);
}

TEST(FleetOrder, EveryFaultIsFoundAtOnceWithItsRowAndColumn) {
  struct Case {
    const char* what;
    QByteArray csv;
    QStringList faults;
  };
  const QByteArray header = "label,general.capcodes[1].capcode,general.serial\r\n";
  const Case cases[] = {
      {"bad values, in the settings text's words",
       header + "A,7,0000000001\r\nB,12x,0000000002\r\nC,1200100,12345678901\r\n",
       {"order.csv:2:general.capcodes[1].capcode: '7': Capcode must be in range 8 to 2097151",
        "order.csv:3:general.capcodes[1].capcode: '12x': Capcode is a whole number",
        "order.csv:4:general.serial: '12345678901': Serial Number holds at most 10 characters"}},
      {"every fault of a row, each with the value it saw",
       header + "A,13OOO16, 8500000004\r\nB,1200108,4711\r\n",
       {"order.csv:2:general.capcodes[1].capcode: '13OOO16': Capcode is a whole number",
        "order.csv:2:general.serial: ' 8500000004': Serial Number holds at most 10 characters (the value has a "
        "blank at its start or end)",
        "order.csv:3:general.serial: '4711': a serial number has 10 digits, this one 4: did a spreadsheet drop "
        "leading zeros? (0000004711, and keep the column as text)"}},
      {"a row's refused value and its capcode that another row has, both in one pass",
       "label,general.capcodes[1].capcode,display.contrast\r\nA,1200100,Level 1\r\nB,1200100,Level 40\r\n",
       {"order.csv:3:display.contrast: 'Level 40' is no entry of LCD Contrast (entries: Level 1, Level 2, Level 3, "
        "Level 4, Level 5, Level 6, Level 7, Level 8, Level 9, Level 10, Level 11, Level 12, Level 13, Level 14, "
        "Level 15, Level 16, Level 17, Level 18, Level 19, Level 20)",
        "order.csv:3:general.capcodes[1].capcode: capcode 1200100 is also row 2's: two pagers would answer it (a "
        "call the pagers share: --shared general.capcodes[1].capcode)"}},
      {"a file separated by semicolons",
       "label;general.capcodes[1].capcode\r\nA;1200100\r\nB;1200108\r\n",
       {"order.csv:1:1: the fields are separated by ';' (label;general.capcodes[1].capcode): save the order as "
        "comma-separated values, \"CSV UTF-8\""}},
      {"a value of a list and a flag",
       "display.contrast,general.capcodes[2].enable\r\nLevel 40,yes\r\n",
       {"order.csv:2:display.contrast: 'Level 40' is no entry of LCD Contrast (entries: Level 1, Level 2, Level 3, "
        "Level 4, Level 5, Level 6, Level 7, Level 8, Level 9, Level 10, Level 11, Level 12, Level 13, Level 14, "
        "Level 15, Level 16, Level 17, Level 18, Level 19, Level 20)",
        "order.csv:2:general.capcodes[2].enable: 'yes': Enable is true or false"}},
      {"unknown columns, with the column meant",
       "label,display.lcd_contrast,general.serail,general.capcodes[9].capcode,frobnicate\r\nA,x,y,z,w\r\n",
       {"order.csv:1:display.lcd_contrast: unknown column 'display.lcd_contrast'; did you mean display.contrast?",
        "order.csv:1:general.serail: unknown column 'general.serail'; did you mean general.serial?",
        "order.csv:1:general.capcodes[9].capcode: unknown column 'general.capcodes[9].capcode'; did you mean "
        "general.capcodes[1].capcode?",
        "order.csv:1:frobnicate: unknown column 'frobnicate'"}},
      {"a column twice",
       "label,display.contrast,display.contrast\r\nA,Level 1,Level 2\r\n",
       {"order.csv:1:display.contrast: column 'display.contrast' is also column 2"}},
      {"duplicate capcodes",
       header + "A,1200100,0000000001\r\nB,1200108,0000000002\r\nC,1200100,0000000003\r\n",
       {"order.csv:4:general.capcodes[1].capcode: capcode 1200100 is also row 2's: two pagers would answer it (a "
        "call the pagers share: --shared general.capcodes[1].capcode)"}},
      {"a capcode of one row in another row of the next",
       "general.capcodes[1].capcode,general.capcodes[2].capcode,general.capcodes[2].enable\r\n"
       "1200100,1200200,true\r\n1200200,1200300,true\r\n",
       {"order.csv:3:general.capcodes[1].capcode: capcode 1200200 is also row 2's: two pagers would answer it (a "
        "call the pagers share: --shared general.capcodes[1].capcode)"}},
      {"duplicate serial numbers",
       header + "A,1200100,0000000001\r\nB,1200108,0000000001\r\n",
       {"order.csv:3:general.serial: serial number 0000000001 is also row 2's: give each row its own, or keep the "
        "pagers' own"}},
      {"not UTF-8",
       header + "A,1200100,0000000001\r\n\xFF\xFE,1200108,0000000002\r\n",
       {"order.csv:3:label: not UTF-8 text: save the order as \"CSV UTF-8\""}},
      {"an empty file",
       "",
       {"order.csv:1:1: the order is empty: it needs a header row naming its columns, then one "
        "row per pager"}},
      {"a header alone", header, {"order.csv:2:1: the order has no rows"}},
      {"rows of the wrong width",
       header + "A,1200100\r\nB,1200108,0000000002,extra\r\n",
       {"order.csv:2:general.serial: the row has 2 fields and the header 3",
        "order.csv:3:4: the row has 4 fields and the header 3"}},
      {"quotes out of place",
       header + "A\"x,1200100,0000000001\r\n\"B\"x,1200108,0000000002\r\n\"C,1,2\r\n",
       {"order.csv:2:label: a quote (\") inside a field that does not start with one; quote the whole field and write "
        "the quote twice (\"\")",
        "order.csv:3:label: text after a quoted field's closing quote; a quote inside a quoted field is written twice "
        "(\"\")",
        "order.csv:4:label: a quoted field is not closed: a quote (\") is missing"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Order order = ReadOrder(c.csv, QStringLiteral("order.csv"), OneCapcodeTemplate());
    EXPECT_EQ(FaultTexts(order), c.faults) << FaultTexts(order).join('\n').toStdString();
    EXPECT_TRUE(order.Refused());
  }
}

TEST(FleetOrder, ATemplatesSerialNumberInEveryPagerIsOneFaultTheTemplates) {
  // Without a serial column and with the template's box off, every pager would get the
  // template's serial number: one fault, however many rows, and each capcode of the default
  // settings once in the summary.
  PagerData writesSerial;
  {
    const SettingsReadResult read =
        ReadSettingsDocument("format: m84-settings/1\ngeneral:\n  keep_serial: false\n", PagerData());
    ASSERT_TRUE(read);
    writesSerial = *read.data;
  }
  const Order order = ReadOrder("general.capcodes[1].capcode\r\n1200100\r\n1200108\r\n1200116\r\n1200124\r\n",
                                "order.csv", writesSerial);
  EXPECT_EQ(FaultTexts(order),
            QStringList({"order.csv: the template's general.serial: rows 2 to 5 would each give their pager serial "
                         "number 1234567890: give each row its own in a general.serial column, or keep the pagers' "
                         "own (general.keep_serial: true)"}));
  EXPECT_EQ(GroupCallSummary(order),
            "group calls: 1234568 (4 pagers), 1234569 (4 pagers), 1234570 (4 pagers), 1234571 (4 pagers), 1234572 "
            "(4 pagers), 1234573 (4 pagers), 1234574 (4 pagers)");
}

// Who answers a capcode: a group by design (the template's, a public one, a shared column's
// value), or one pager alone, whose capcode in a second row is a fault. A disabled capcode row
// answers nothing.
TEST(FleetOrder, GroupCallsAreListedAndAPagersOwnCapcodeTwiceIsAFault) {
  struct Case {
    const char* what;
    const char* templateText;  // over the one-capcode template
    QByteArray csv;
    QStringList shared;
    QStringList faults;
    QString summary;
  };
  const char* const secondRowPublic =
      "format: m84-settings/1\ngeneral:\n  capcodes:\n    - {}\n    - {enable: true, private: false}\n";
  const Case cases[] = {
      {"the template's capcode in every row",
       "format: m84-settings/1\ngeneral:\n  capcodes:\n    - {}\n    - {enable: true, capcode: 1400000}\n",
       "label,general.capcodes[1].capcode\r\nA,1200100\r\nB,1200108\r\nC,1200116\r\n",
       {},
       {},
       "group calls: 1400000 (3 pagers)"},
      {"a public capcode written in the rows",
       secondRowPublic,
       "general.capcodes[1].capcode,general.capcodes[2].capcode\r\n1200100,1400000\r\n1200108,1400000\r\n",
       {},
       {},
       "group calls: 1400000 (2 pagers)"},
      {"a shared column: equal values are one group, a lone value a pager's own",
       "format: m84-settings/1\ngeneral:\n  capcodes:\n    - {}\n    - {enable: true}\n",
       "general.capcodes[1].capcode,general.capcodes[2].capcode\r\n1200100,1400000\r\n1200108,1400008\r\n"
       "1200116,1400000\r\n1200124,1400000\r\n",
       {"general.capcodes[2].capcode"},
       {},
       "group calls: 1400000 (general.capcodes[2].capcode: rows 2, 4, 5)"},
      {"the same column not declared shared",
       "format: m84-settings/1\ngeneral:\n  capcodes:\n    - {}\n    - {enable: true}\n",
       "general.capcodes[1].capcode,general.capcodes[2].capcode\r\n1200100,1400000\r\n1200108,1400000\r\n",
       {},
       {"order.csv:3:general.capcodes[2].capcode: capcode 1400000 is also row 2's: two pagers would answer it (a "
        "call the pagers share: --shared general.capcodes[2].capcode)"},
       ""},
      {"a pager's own capcode in two rows, the other columns shared",
       "format: m84-settings/1\ngeneral:\n  capcodes:\n    - {}\n    - {enable: true}\n",
       "general.capcodes[1].capcode,general.capcodes[2].capcode\r\n1200100,1400000\r\n1200100,1400000\r\n",
       {"general.capcodes[2].capcode"},
       {"order.csv:3:general.capcodes[1].capcode: capcode 1200100 is also row 2's: two pagers would answer it (a "
        "call the pagers share: --shared general.capcodes[1].capcode)"},
       "group calls: 1400000 (general.capcodes[2].capcode: rows 2, 3)"},
      {"a disabled capcode row counts for nothing",
       "format: m84-settings/1\n",
       "general.capcodes[1].capcode,general.capcodes[2].capcode,general.capcodes[2].enable\r\n"
       "1200100,1400000,false\r\n1200108,1400000,false\r\n",
       {},
       {},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SettingsReadResult templateData = ReadSettingsDocument(c.templateText, OneCapcodeTemplate());
    ASSERT_TRUE(templateData) << templateData.error.Text().toStdString();
    const Order order = ReadOrder(c.csv, QStringLiteral("order.csv"), *templateData.data, OrderOptions{c.shared});
    EXPECT_EQ(FaultTexts(order), c.faults) << FaultTexts(order).join('\n').toStdString();
    EXPECT_EQ(GroupCallSummary(order), c.summary);
  }
}

TEST(FleetOrder, AHeaderWiderThanAnyOrderIsOneFault) {
  QByteArray csv = "label";
  for (int i = 0; i < 100000; ++i) csv += ",unknown" + QByteArray::number(i);
  csv += "\r\nA\r\n";
  const Order order = ReadOrder(csv, QStringLiteral("order.csv"), OneCapcodeTemplate());
  EXPECT_EQ(FaultTexts(order),
            QStringList({"order.csv:1:1001: the header has 100001 columns; an order has at most 1000, one per "
                         "setting"}));
}

TEST(OrderCsv, ASpreadsheetFieldIsNeverAFormula) {
  struct Case {
    QString field;
    QString written;
  };
  const Case cases[] = {
      {"=HYPERLINK(\"http://x\",\"y\")", "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {"+1+1", "'+1+1"},
      {"-1+1", "'-1+1"},
      {"@SUM(1)", "'@SUM(1)"},
      {"\t=1", "'\t=1"},
      {"\r=1", "\"'\r=1\""},
      {"Ames, J", "\"Ames, J\""},
      {"1200100", "1200100"},
  };
  for (const Case& c : cases) EXPECT_EQ(SpreadsheetField(c.field), c.written) << c.field.toStdString();
}

}  // namespace
