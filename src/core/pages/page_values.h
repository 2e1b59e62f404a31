#pragma once
// A page's variables: one value per control that carries a setting, by key.

#include <QHash>
#include <QString>
#include <QVariant>

namespace m84 {

class PageValues {
 public:
  bool Flag(const QString& key) const { return values_.value(key).toBool(); }
  int Number(const QString& key) const { return values_.value(key).toInt(); }
  QString Text(const QString& key) const { return values_.value(key).toString(); }
  QVariant Value(const QString& key) const { return values_.value(key); }
  bool Has(const QString& key) const { return values_.contains(key); }

  void Set(const QString& key, const QVariant& value) { values_.insert(key, value); }
  QVariant& operator[](const QString& key) { return values_[key]; }

 private:
  QHash<QString, QVariant> values_;
};

// Keys of rows: Key("capcode", 3) == "capcode3".
inline QString Key(const char* name, int row) { return QString::fromLatin1(name) + QString::number(row); }

}  // namespace m84
