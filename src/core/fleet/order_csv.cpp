#include "core/fleet/order_csv.h"

#include <QStringDecoder>
#include <algorithm>

namespace m84::fleet {

namespace {

const QByteArray kByteOrderMark = QByteArrayLiteral("\xEF\xBB\xBF");

bool AllEmpty(const QStringList& fields) {
  return std::all_of(fields.begin(), fields.end(), [](const QString& f) { return f.isEmpty(); });
}

class Parser {
 public:
  explicit Parser(const QByteArray& bytes) : bytes_(bytes) {
    if (bytes_.startsWith(kByteOrderMark)) at_ = kByteOrderMark.size();
  }

  CsvTable Parse() {
    while (at_ < bytes_.size()) ReadRecord();
    return std::move(table_);
  }

 private:
  void Fault(int field, const QString& message) { table_.faults.push_back({row_, field, message}); }

  // The bytes of one field, decoded; a field that is not UTF-8 is a fault and stays empty.
  QString Decode(const QByteArray& raw, int field) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(raw);
    if (!decoder.hasError()) return text;
    Fault(field, QStringLiteral("not UTF-8 text: save the order as \"CSV UTF-8\""));
    return QString();
  }

  bool AtLineEnd() const {
    return at_ >= bytes_.size() || bytes_[at_] == '\n' ||
           (bytes_[at_] == '\r' && at_ + 1 < bytes_.size() && bytes_[at_ + 1] == '\n');
  }

  void SkipLineEnd() {
    if (at_ < bytes_.size() && bytes_[at_] == '\r') ++at_;
    if (at_ < bytes_.size() && bytes_[at_] == '\n') ++at_;
  }

  // A quoted field up to its closing quote; at_ is on the opening quote.
  QByteArray ReadQuoted(int field) {
    QByteArray raw;
    ++at_;
    for (;;) {
      if (at_ >= bytes_.size()) {
        Fault(field, QStringLiteral("a quoted field is not closed: a quote (\") is missing"));
        return raw;
      }
      const char c = bytes_[at_++];
      if (c != '"') {
        raw.append(c);
        continue;
      }
      if (at_ < bytes_.size() && bytes_[at_] == '"') {
        raw.append('"');
        ++at_;
        continue;
      }
      break;
    }
    // Text after the closing quote is kept, but a spreadsheet never writes it.
    if (at_ < bytes_.size() && bytes_[at_] != ',' && !AtLineEnd()) {
      Fault(field, QStringLiteral("text after a quoted field's closing quote; a quote inside a quoted field is "
                                  "written twice (\"\")"));
      while (at_ < bytes_.size() && bytes_[at_] != ',' && !AtLineEnd()) raw.append(bytes_[at_++]);
    }
    return raw;
  }

  QByteArray ReadPlain(int field) {
    QByteArray raw;
    bool quoteSeen = false;
    while (at_ < bytes_.size() && bytes_[at_] != ',' && !AtLineEnd()) {
      if (bytes_[at_] == '"') quoteSeen = true;
      raw.append(bytes_[at_++]);
    }
    if (quoteSeen)
      Fault(field, QStringLiteral("a quote (\") inside a field that does not start with one; quote the whole "
                                  "field and write the quote twice (\"\")"));
    return raw;
  }

  void ReadRecord() {
    ++row_;
    QStringList fields;
    for (;;) {
      const int field = int(fields.size()) + 1;
      const QByteArray raw = at_ < bytes_.size() && bytes_[at_] == '"' ? ReadQuoted(field) : ReadPlain(field);
      fields << Decode(raw, field);
      if (at_ < bytes_.size() && bytes_[at_] == ',') {
        ++at_;
        continue;
      }
      SkipLineEnd();
      break;
    }
    if (!AllEmpty(fields)) table_.records.push_back({row_, fields});
  }

  const QByteArray& bytes_;
  qsizetype at_ = 0;
  int row_ = 0;
  CsvTable table_;
};

}  // namespace

CsvTable ParseCsv(const QByteArray& bytes) { return Parser(bytes).Parse(); }

QByteArray CsvField(const QString& text) {
  QByteArray bytes = text.toUtf8();
  if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') && !bytes.contains('\r')) return bytes;
  bytes.replace("\"", "\"\"");
  return '"' + bytes + '"';
}

QByteArray CsvLine(const QStringList& fields) {
  QByteArrayList line;
  for (const QString& field : fields) line << CsvField(field);
  return line.join(',') + "\r\n";
}

QString SpreadsheetField(QString field) {
  static const QString formulaStarts = QStringLiteral("=+-@\t\r");
  if (!field.isEmpty() && formulaStarts.contains(field.front())) field.prepend(QLatin1Char('\''));
  if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n')) &&
      !field.contains(QLatin1Char('\r')))
    return field;
  field.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return QLatin1Char('"') + field + QLatin1Char('"');
}

QByteArray SpreadsheetLine(const QStringList& fields) {
  QStringList line;
  for (const QString& field : fields) line << SpreadsheetField(field);
  return (line.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
}

}  // namespace m84::fleet
