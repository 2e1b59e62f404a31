#include "core/fleet/order_settings.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <cstring>

#include "core/history/pager_history.h"
#include "core/settings/settings_document.h"

namespace m84::fleet {

namespace {

// Shared columns are capcode key paths, which hold no comma.
const QLatin1Char kSharedSeparator(',');

// The columns are NOT NULL: Qt binds a null text as NULL.
QString NotNull(const QString& text) { return text.isNull() ? QStringLiteral("") : text; }

QByteArray Bytes(const uint8_t* data, int size) { return QByteArray(reinterpret_cast<const char*>(data), size); }

// A stored image of the wrong size is no template: nothing is read from it.
bool CopyBytes(const QByteArray& from, uint8_t* to, int size) {
  if (from.size() != size) return false;
  std::memcpy(to, from.constData(), size_t(size));
  return true;
}

}  // namespace

bool StoreMayHoldOrders(const HistoryLocation& location) {
  return location.backend != HistoryLocation::Backend::SQLite || QFileInfo::exists(location.target);
}

Result<std::optional<OrderSettings>> KeptOrderSettings(HistoryStore& store, const QString& order) {
  Result<QSqlDatabase> connection = store.Connection();
  if (!connection) return connection.failure();
  QSqlQuery query(*connection);
  query.setForwardOnly(true);
  if (!query.prepare(QStringLiteral("SELECT template_file, template_image, template_selection, shared_columns, "
                                    "updated_utc, user_name, host_name FROM fleet_orders WHERE order_name = ?")))
    return store.StatementFailure(QStringLiteral("order's template"), query.lastError());
  query.addBindValue(order);
  if (!query.exec()) return store.StatementFailure(QStringLiteral("order's template"), query.lastError());
  if (!query.next()) return std::optional<OrderSettings>();
  OrderSettings settings;
  settings.templateFile = query.value(0).toString();
  if (!CopyBytes(query.value(1).toByteArray(), settings.templateData.image.data(), kImageSize) ||
      !CopyBytes(query.value(2).toByteArray(), settings.templateData.selection.data(), kSelectionSize))
    return Failed(
        {}, QStringLiteral("%1: the template kept for order %2 is damaged").arg(store.Location().Describe(), order));
  const QString shared = query.value(3).toString();
  if (!shared.isEmpty()) settings.shared = shared.split(kSharedSeparator);
  settings.updated = QDateTime::fromString(query.value(4).toString(), Qt::ISODateWithMs).toUTC();
  settings.user = query.value(5).toString();
  settings.host = query.value(6).toString();
  return std::optional<OrderSettings>(settings);
}

Outcome KeepOrderSettings(HistoryStore& store, const QString& order, const OrderSettings& settings) {
  Result<QSqlDatabase> connection = store.Connection();
  if (!connection) return connection.failure();
  QSqlQuery query(*connection);
  // One statement, so that two benches keeping the same order at once leave one row.
  if (!query.prepare(QStringLiteral(
          "INSERT INTO fleet_orders (order_name, template_file, template_image, template_selection, shared_columns, "
          "updated_utc, user_name, host_name) VALUES (?, ?, ?, ?, ?, ?, ?, ?) ON CONFLICT (order_name) DO UPDATE SET "
          "template_file = excluded.template_file, template_image = excluded.template_image, template_selection = "
          "excluded.template_selection, shared_columns = excluded.shared_columns, updated_utc = excluded.updated_utc, "
          "user_name = excluded.user_name, host_name = excluded.host_name")))
    return store.StatementFailure(QStringLiteral("order's template"), query.lastError());
  query.addBindValue(order);
  query.addBindValue(NotNull(settings.templateFile));
  query.addBindValue(Bytes(settings.templateData.image.data(), kImageSize));
  query.addBindValue(Bytes(settings.templateData.selection.data(), kSelectionSize));
  query.addBindValue(NotNull(settings.shared.join(kSharedSeparator)));
  query.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs));
  query.addBindValue(NotNull(CurrentUserName()));
  query.addBindValue(NotNull(QSysInfo::machineHostName()));
  if (!query.exec()) return store.StatementFailure(QStringLiteral("order's template"), query.lastError());
  return Succeeded();
}

QStringList TemplateDifferences(const PagerData& kept, const PagerData& given) {
  if (kept.image == given.image && kept.selection == given.selection) return {};
  return SettingsDifferences(kept, given);
}

QString TemplateDiffers(const QString& order, const OrderSettings& kept, const QString& givenFile,
                        const QStringList& differences) {
  const auto templateName = [](const QString& file) {
    return file.isEmpty() ? QStringLiteral("the default settings") : QStringLiteral("template %1").arg(file);
  };
  QString text =
      QStringLiteral("order %1 was first read over %2 (%3 UTC, %4@%5); %6 differs:\n")
          .arg(order, templateName(kept.templateFile), kept.updated.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
               kept.user, kept.host, templateName(givenFile));
  for (const QString& line : differences) text += QStringLiteral("  ") + line + QLatin1Char('\n');
  return text;
}

}  // namespace m84::fleet
