#include "core/paging/site_profile.h"

#include <yaml-cpp/yaml.h>

#include <QFile>
#include <QSet>

#include "core/pages/capcode.h"
#include "core/settings/edit_distance.h"

namespace m84::paging {

namespace {

// A profile is a few lines; anything much longer is no profile.
constexpr qint64 kLargestProfile = 1 << 20;
// A typo this many edits away still names the key meant.
constexpr int kNearestKeyDistance = 2;

const QString kNameKey = QStringLiteral("name");
const QString kFrequencyKey = QStringLiteral("frequency");
const QString kBaudKey = QStringLiteral("baud");
const QString kPolarityKey = QStringLiteral("polarity");
const QString kCapcodesKey = QStringLiteral("capcodes");
const QStringList kKeys = {kNameKey, kFrequencyKey, kBaudKey, kPolarityKey, kCapcodesKey};

// The first refusal ends the reading.
class ProfileReader {
 public:
  explicit ProfileReader(QString file) : file_(std::move(file)) {}

  Result<SiteProfile> Read(const QByteArray& text) {
    try {
      const YAML::Node root = YAML::Load(text.toStdString());
      if (root.IsNull()) return profile_;  // an empty profile checks nothing
      if (!root.IsMap()) return Refuse(root.Mark(), QStringLiteral("a site profile is a mapping of keys to values"));
      QSet<QString> seen;
      for (auto it = root.begin(); it != root.end(); ++it) {
        const QString key = QString::fromStdString(it->first.Scalar());
        if (!kKeys.contains(key)) return Refuse(it->first.Mark(), UnknownKey(key));
        if (seen.contains(key)) return Refuse(it->first.Mark(), QStringLiteral("'%1' is given twice").arg(key));
        seen.insert(key);
        if (const std::optional<Failure> refused = ReadValue(key, it->second)) return *refused;
      }
    } catch (const YAML::Exception& e) {
      return Refuse(e.mark, QString::fromStdString(e.msg));
    }
    return profile_;
  }

 private:
  Failure Refuse(const YAML::Mark& mark, const QString& message) const {
    const int line = mark.line >= 0 ? mark.line + 1 : 1;
    const int column = mark.column >= 0 ? mark.column + 1 : 1;
    return Failed({}, QStringLiteral("%1:%2:%3: %4").arg(file_).arg(line).arg(column).arg(message));
  }

  static QString UnknownKey(const QString& key) {
    QString message =
        QStringLiteral("unknown key '%1'; a site profile has %2").arg(key, kKeys.join(QStringLiteral(", ")));
    for (const QString& known : kKeys)
      if (EditDistance(key.toLower(), known) <= kNearestKeyDistance)
        return message + QStringLiteral("; did you mean '%1'?").arg(known);
    return message;
  }

  std::optional<Failure> ReadValue(const QString& key, const YAML::Node& value) {
    if (key == kCapcodesKey) return ReadCapcodes(value);
    if (!value.IsScalar()) return Refuse(value.Mark(), QStringLiteral("'%1' takes one value").arg(key));
    const QString text = QString::fromStdString(value.Scalar());
    if (key == kNameKey) {
      profile_.name = text;
    } else if (key == kFrequencyKey) {
      profile_.transmitter.frequency = FrequencyFromMegahertz(text);
      if (!profile_.transmitter.frequency)
        return Refuse(value.Mark(), QStringLiteral("frequency is in MHz, with up to four decimals: 457.575"));
    } else if (key == kBaudKey) {
      profile_.transmitter.baud = PocsagBaudNamed(text);
      if (!profile_.transmitter.baud) return Refuse(value.Mark(), QStringLiteral("baud is 512, 1200 or 2400"));
    } else if (key == kPolarityKey) {
      profile_.transmitter.polarity = PocsagPolarityNamed(text);
      if (!profile_.transmitter.polarity)
        return Refuse(value.Mark(), QStringLiteral("polarity is standard or negative"));
    }
    return std::nullopt;
  }

  std::optional<Failure> ReadCapcodes(const YAML::Node& capcodes) {
    if (capcodes.IsNull()) return std::nullopt;
    if (!capcodes.IsMap())
      return Refuse(capcodes.Mark(),
                    QStringLiteral("capcodes is a mapping of names to capcodes: \"Ames, J\": 1200100"));
    QSet<QString> names;
    for (auto it = capcodes.begin(); it != capcodes.end(); ++it) {
      const QString name = QString::fromStdString(it->first.Scalar());
      if (names.contains(name)) return Refuse(it->first.Mark(), QStringLiteral("'%1' is named twice").arg(name));
      names.insert(name);
      bool number = false;
      const long long capcode =
          it->second.IsScalar() ? QString::fromStdString(it->second.Scalar()).toLongLong(&number) : 0;
      if (!number || !IsValidCapcode(capcode))
        return Refuse(it->second.Mark(), QStringLiteral("the capcode of '%1' is a whole number, %2 to %3")
                                             .arg(name)
                                             .arg(kCapcodeMin)
                                             .arg(kCapcodeMax));
      profile_.capcodes.push_back({name, int(capcode)});
    }
    return std::nullopt;
  }

  QString file_;
  SiteProfile profile_;
};

// "row 7 (Ames, J)" where the site names the row's capcode.
QString RowName(const CapcodeRow& row, const SiteProfile& site) {
  const QString name = site.NameOf(row.capcode);
  return QStringLiteral("row %1").arg(row.row + 1) + (name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name));
}

}  // namespace

std::optional<int> SiteProfile::CapcodeNamed(const QString& name) const {
  for (const SiteCapcode& capcode : capcodes)
    if (capcode.name == name) return capcode.capcode;
  return std::nullopt;
}

QString SiteProfile::NameOf(int capcode) const {
  for (const SiteCapcode& sent : capcodes)
    if (sent.capcode == capcode) return sent.name;
  return QString();
}

Result<SiteProfile> LoadSiteProfile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return Failed({}, QStringLiteral("%1: %2").arg(path, file.errorString()));
  const QByteArray text = file.read(kLargestProfile + 1);
  if (text.size() > kLargestProfile) return Failed({}, QStringLiteral("%1: too long for a site profile").arg(path));
  return ReadSiteProfile(text, path);
}

Result<SiteProfile> ReadSiteProfile(const QByteArray& text, const QString& file) {
  return ProfileReader(file).Read(text);
}

QStringList SiteFindings(const PagerData& data, const SiteProfile& site) {
  const ProgrammedPager pager(data);
  const QStringList receiver = pager.ReceiverDifferences(site.transmitter, QStringLiteral("the site sends"));
  QStringList findings;
  // A disabled row is not meant to hear anything.
  for (const CapcodeRow& row : pager.CapcodeRows()) {
    if (!row.enabled) continue;
    for (const QString& difference : receiver) findings << RowName(row, site) + QStringLiteral(": ") + difference;
    if (!site.capcodes.empty() && site.NameOf(row.capcode).isEmpty())
      findings << QStringLiteral("%1: the site does not send capcode %2").arg(RowName(row, site)).arg(row.capcode);
  }
  return findings;
}

}  // namespace m84::paging
