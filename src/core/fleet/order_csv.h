#pragma once
// An order's table as a spreadsheet exports it: RFC 4180 comma-separated values in UTF-8.
// Fields may be quoted ("a ""quoted"" word", commas and line breaks inside); records end in CRLF
// or LF alone; a byte order mark at the start is skipped. Rows whose fields are all empty (the
// blank rows below a spreadsheet's table) are left out.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace m84::fleet {

// A fault the table itself has, before any column means anything: row counts records from 1
// (the header is row 1, as a spreadsheet numbers them), field counts fields from 1.
struct CsvFault {
  int row = 0;
  int field = 0;
  QString message;
};

struct CsvRecord {
  int row = 0;  // as a spreadsheet numbers it: the header is row 1
  QStringList fields;
};

struct CsvTable {
  std::vector<CsvRecord> records;  // the header first
  std::vector<CsvFault> faults;    // every one found, in order; a field that is not UTF-8 stays empty
};

CsvTable ParseCsv(const QByteArray& bytes);

// One field as a CSV writer puts it: quoted when it holds a comma, a quote or a line break.
QByteArray CsvField(const QString& text);
// A record with its CRLF.
QByteArray CsvLine(const QStringList& fields);

}  // namespace m84::fleet
