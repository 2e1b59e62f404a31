// Reading the settings text: the document checked key by key and applied over a base through
// the pages' own store.

#include <yaml-cpp/yaml.h>

#include <QSet>
#include <algorithm>
#include <new>
#include <optional>
#include <set>

#include "core/settings/edit_distance.h"
#include "core/settings/setting_values.h"
#include "core/settings/settings_catalog.h"
#include "core/settings/settings_document.h"
#include "core/settings/settings_plan.h"

namespace m84 {

namespace {

using namespace settings_text;

// A typo at most this far from a key (or from its label) still names the key meant.
constexpr int kNearestKeyDistance = 3;

// A name the reader knows, and the words a user might type for it instead (its label).
struct KnownName {
  QString name;
  QString label;
};

QString NearestName(const QString& typed, const std::vector<KnownName>& known) {
  QString nearest;
  int best = kNearestKeyDistance + 1;
  for (const KnownName& k : known) {
    int distance = EditDistance(typed, k.name);
    if (!k.label.isEmpty()) distance = std::min(distance, EditDistance(typed, SnakeCase(k.label)));
    if (distance < best && distance < k.name.size()) {
      best = distance;
      nearest = k.name;
    }
  }
  return nearest;
}

// yaml-cpp gives the escapes \N and \_ (next line, no-break space), which other YAML libraries
// write for those characters, as the bare bytes 0x85 and 0xA0 rather than in UTF-8: where such a
// byte is no part of a UTF-8 character, it is that character.
QString ScalarText(const std::string& scalar) {
  constexpr unsigned char kNextLine = 0x85;
  constexpr unsigned char kNoBreakSpace = 0xA0;
  const QString text = QString::fromStdString(scalar);
  if (!text.contains(QChar::ReplacementCharacter)) return text;
  QString mended;
  for (size_t i = 0; i < scalar.size();) {
    const unsigned char lead = static_cast<unsigned char>(scalar[i]);
    const size_t length = lead < 0x80           ? 1
                          : (lead >> 5) == 0x6  ? 2
                          : (lead >> 4) == 0xE  ? 3
                          : (lead >> 3) == 0x1E ? 4
                                                : 0;
    bool whole = length > 0 && i + length <= scalar.size();
    for (size_t k = 1; whole && k < length; ++k) whole = (static_cast<unsigned char>(scalar[i + k]) & 0xC0) == 0x80;
    if (whole) {
      mended += QString::fromUtf8(scalar.data() + i, qsizetype(length));
      i += length;
      continue;
    }
    mended += lead == kNextLine || lead == kNoBreakSpace ? QChar(lead) : QChar(QChar::ReplacementCharacter);
    ++i;
  }
  return mended;
}

QString QuotedKey(const std::string& key) {
  return QLatin1Char('\'') + QString::fromStdString(key) + QLatin1Char('\'');
}

// The first refusal ends the reading; every step returns false once there is one.
class DocumentReader {
 public:
  explicit DocumentReader(QString file) { error_.file = std::move(file); }

  SettingsReadResult Read(const QByteArray& text, const PagerData& base) {
    SettingsReadResult result;
    text_ = text;
    try {
      const std::vector<YAML::Node> documents = YAML::LoadAll(text.toStdString());
      const YAML::Node root = documents.empty() ? YAML::Node() : documents.front();
      if (OneDocument(documents) && QuotesClosed(root) && ReadRoot(root, base)) {
        const PagerData read = ReadThrough(runner_, background_, assignments_, carried_);
        if (AsReadComeBack(read)) {
          result.data = read;
          result.asRead = asReadKeys_;
        }
      }
    } catch (const YAML::ParserException& e) {
      Refuse(e.mark, QString::fromStdString(e.msg));
    } catch (const YAML::Exception& e) {
      Refuse(e.mark, QString::fromStdString(e.msg));
    } catch (const std::bad_alloc&) {
      Refuse(YAML::Mark::null_mark(), QStringLiteral("the text needs more memory than there is"));
    }
    if (!result.data) result.error = error_;
    return result;
  }

 private:
  bool Refuse(const YAML::Mark& mark, const QString& message) {
    // A mark yaml-cpp does not know (an empty value) names the start of the document.
    error_.line = mark.line >= 0 ? mark.line + 1 : 1;
    error_.column = mark.column >= 0 ? mark.column + 1 : 1;
    error_.message = message;
    return false;
  }

  // A second document, or text after "...", would be read by nobody: a file meant whole is
  // refused rather than half read.
  bool OneDocument(const std::vector<YAML::Node>& documents) {
    if (documents.size() <= 1) return true;
    return Refuse(documents[1].Mark(),
                  QStringLiteral("a settings text is one document: another begins here (after '---' or '...')"));
  }

  // yaml-cpp reads a quote left open at the end of the text as if it were closed there.
  bool QuoteClosed(const YAML::Node& node) const {
    const int at = node.Mark().pos;
    if (!node.IsScalar() || at < 0 || at >= text_.size()) return true;
    const char quote = text_[at];
    if (quote != '"' && quote != '\'') return true;
    for (qsizetype i = at + 1; i < text_.size(); ++i) {
      if (quote == '"' && text_[i] == '\\') {
        ++i;
      } else if (text_[i] == quote) {
        if (quote == '\'' && i + 1 < text_.size() && text_[i + 1] == '\'') {
          ++i;
          continue;
        }
        return true;
      }
    }
    return false;
  }

  bool QuotesClosed(const YAML::Node& node) {
    if (node.IsScalar() && !QuoteClosed(node))
      return Refuse(node.Mark(), QStringLiteral("the quote opened here is never closed"));
    // An alias is the node of its anchor again: looked at once, or nested aliases would cost
    // nine to the power of their depth.
    if ((node.IsSequence() || node.IsMap()) && !looked_.insert(node.Mark().pos).second) return true;
    if (node.IsSequence())
      for (const YAML::Node& item : node)
        if (!QuotesClosed(item)) return false;
    if (node.IsMap())
      for (auto it = node.begin(); it != node.end(); ++it)
        if (!QuotesClosed(it->first) || !QuotesClosed(it->second)) return false;
    return true;
  }

  bool Unknown(const YAML::Node& key, const QString& where, const std::vector<KnownName>& known) {
    QString message = QStringLiteral("unknown key %1 %2").arg(QuotedKey(key.Scalar()), where);
    if (const QString nearest = NearestName(QString::fromStdString(key.Scalar()), known); !nearest.isEmpty())
      message += QStringLiteral("; did you mean %1?").arg(nearest);
    return Refuse(key.Mark(), message);
  }

  // The pairs of a mapping, once each key is known to be a single, unrepeated word.
  bool Pairs(const YAML::Node& map, const QString& what, std::vector<std::pair<YAML::Node, YAML::Node>>& pairs) {
    if (!map.IsMap()) return Refuse(map.Mark(), QStringLiteral("%1 is a mapping of keys to values").arg(what));
    QSet<QString> seen;
    for (auto it = map.begin(); it != map.end(); ++it) {
      if (!it->first.IsScalar()) return Refuse(it->first.Mark(), QStringLiteral("a key is a single word"));
      const QString key = QString::fromStdString(it->first.Scalar());
      if (seen.contains(key)) return Refuse(it->first.Mark(), QStringLiteral("duplicate key '%1'").arg(key));
      seen.insert(key);
      pairs.emplace_back(it->first, it->second);
    }
    return true;
  }

  bool ReadRoot(const YAML::Node& root, const PagerData& base) {
    background_ = base;
    if (!root.IsMap() || !root[kFormatKey])
      return Refuse(root.Mark(),
                    QStringLiteral("not a settings document: it starts with 'format: %1'").arg(kSettingsFormat));
    std::vector<std::pair<YAML::Node, YAML::Node>> pairs;
    if (!Pairs(root, QStringLiteral("a settings document"), pairs)) return false;
    std::vector<KnownName> known = {{kFormatKey, {}}, {kCarriedKey, {}}, {kSelectionKey, {}}};
    for (const CatalogPage& page : Catalog::Get().Pages()) known.push_back({page.name, page.title});
    std::vector<std::pair<const CatalogPage*, YAML::Node>> pages;
    std::optional<YAML::Node> carried;
    for (const auto& [key, value] : pairs) {
      const std::string name = key.Scalar();
      if (value.IsMap() && value[kAsReadKey] && (name == kFormatKey || name == kCarriedKey || name == kSelectionKey))
        return Refuse(value.Mark(), QStringLiteral("'%1' takes no '%2' mark: only a setting the window checks does")
                                        .arg(QString::fromStdString(name), QLatin1String(kAsReadKey)));
      if (name == kFormatKey) {
        if (!value.IsScalar() || value.Scalar() != kSettingsFormat)
          return Refuse(value.Mark(), QStringLiteral("this program reads 'format: %1'").arg(kSettingsFormat));
      } else if (name == kCarriedKey) {
        carried = value;
      } else if (name == kSelectionKey) {
        if (!ReadSelection(value)) return false;
      } else if (const CatalogPage* page = PageNamed(name)) {
        pages.emplace_back(page, value);
      } else {
        return Unknown(key, QStringLiteral("at the top of the document"), known);
      }
    }
    for (const auto& [page, value] : pages)
      if (!ReadPage(*page, value)) return false;
    // After the settings: carried bytes may stand in the place of those given as read alone.
    return !carried || ReadCarried(*carried);
  }

  static const CatalogPage* PageNamed(const std::string& name) {
    for (const CatalogPage& page : Catalog::Get().Pages())
      if (page.name == QString::fromStdString(name)) return &page;
    return nullptr;
  }

  bool ReadPage(const CatalogPage& page, const YAML::Node& node) {
    std::vector<std::pair<YAML::Node, YAML::Node>> pairs;
    if (!Pairs(node, QStringLiteral("page '%1'").arg(page.name), pairs)) return false;
    std::vector<KnownName> known;
    for (const Item& item : page.items)
      known.push_back({item.name, item.setting ? item.setting->form.label : QString()});
    for (const auto& [key, value] : pairs) {
      const QString name = QString::fromStdString(key.Scalar());
      const auto item =
          std::find_if(page.items.begin(), page.items.end(), [&](const Item& i) { return i.name == name; });
      if (item == page.items.end()) return Unknown(key, QStringLiteral("on page '%1'").arg(page.name), known);
      const bool read = item->setting ? ReadSetting(page, *item->setting, key, value) : ReadGrid(page, *item, value);
      if (!read) return false;
    }
    return true;
  }

  bool ReadGrid(const CatalogPage& page, const Item& grid, const YAML::Node& node) {
    if (!node.IsSequence())
      return Refuse(node.Mark(), QStringLiteral("'%1' is a sequence of %2 rows").arg(grid.name).arg(grid.rows.size()));
    if (node.size() > grid.rows.size())
      return Refuse(node[grid.rows.size()].Mark(),
                    QStringLiteral("'%1' has only %2 rows").arg(grid.name).arg(grid.rows.size()));
    for (size_t row = 0; row < node.size(); ++row) {
      const YAML::Node rowNode = node[row];
      if (rowNode.IsNull()) continue;
      std::vector<std::pair<YAML::Node, YAML::Node>> pairs;
      if (!Pairs(rowNode, QStringLiteral("a row of '%1'").arg(grid.name), pairs)) return false;
      std::vector<KnownName> known;
      for (Binding binding : grid.rows[row]) known.push_back({binding->form.member, binding->form.label});
      for (const auto& [key, value] : pairs) {
        const QString member = QString::fromStdString(key.Scalar());
        const auto binding = std::find_if(grid.rows[row].begin(), grid.rows[row].end(),
                                          [&](Binding b) { return b->form.member == member; });
        if (binding == grid.rows[row].end())
          return Unknown(key, QStringLiteral("in a row of '%1' on page '%2'").arg(grid.name, page.name), known);
        if (!ReadSetting(page, **binding, key, value)) return false;
      }
    }
    return true;
  }

  bool ReadSetting(const CatalogPage& page, const FieldBinding& binding, const YAML::Node& key,
                   const YAML::Node& node) {
    const SettingForm& form = binding.form;
    // An empty value has no place of its own: the key's is the one to show.
    const YAML::Mark mark = node.IsNull() || node.Mark().line < 0 ? key.Mark() : node.Mark();
    if (node.IsMap() && node[kAsReadKey]) return ReadAsRead(page, binding, node);
    if (!node.IsScalar()) return Refuse(mark, QStringLiteral("%1 needs a single value").arg(form.label));
    const QString word = ScalarText(node.Scalar());
    const SettingValue& kind = ValueOf(form);
    const Result<QVariant> value = kind.FromWords(form, word);
    if (!value) return Refuse(mark, value.failure().reason);
    if (const QString refusal = kind.Refusal(form, *value); !refusal.isEmpty()) return Refuse(mark, refusal);
    assignments_.push_back({page.id, &binding, *value});
    return true;
  }

  // {as_read: VALUE}: the value as a pager held it, past the window's check, said on standard
  // error by whoever reads the document.
  bool ReadAsRead(const CatalogPage& page, const FieldBinding& binding, const YAML::Node& node) {
    const SettingForm& form = binding.form;
    const YAML::Node value = node[kAsReadKey];
    if (node.size() != 1 || !value.IsScalar())
      return Refuse(node.Mark(), QStringLiteral("%1 as read is {%2: VALUE}, with nothing beside it")
                                     .arg(form.label, QLatin1String(kAsReadKey)));
    const SettingValue& kind = ValueOf(form);
    const Result<QVariant> read = kind.AsReadFromWords(form, ScalarText(value.Scalar()));
    if (!read) return Refuse(value.Mark(), read.failure().reason);
    const QString refusal = kind.Refusal(form, *read);
    asReadKeys_ << QStringLiteral("%1 (%2)").arg(
        SettingPlace{&page, &binding}.Key(), refusal.isEmpty() ? QStringLiteral("the window takes it too") : refusal);
    asReadMarks_.push_back({assignments_.size(), value.Mark()});
    assignments_.push_back({page.id, &binding, *read, true});
    return true;
  }

  // A value as read is what the pager's bytes give back: one they cannot hold (a text with a
  // character that is no byte of the pager, a number wider than its field) is refused at its place.
  bool AsReadComeBack(const PagerData& read) {
    if (asReadMarks_.empty()) return true;
    const LoadedValues back = runner_.Load(read);
    for (const auto& [index, mark] : asReadMarks_) {
      const Assignment& a = assignments_[index];
      const QVariant held = back.Value(a.page, a.binding);
      if (held == a.value) continue;
      const SettingValue& kind = ValueOf(a.binding->form);
      return Refuse(mark, QStringLiteral("%1 as read cannot be held in the pager's bytes: they give %2")
                              .arg(a.binding->form.label, kind.Shown(a.binding->form, held)));
    }
    return true;
  }

  // "0A 1B ..." into bytes.
  static std::optional<QByteArray> ParseHexBytes(const QString& text) {
    QByteArray bytes;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
      bool ok = false;
      const uint value = word.toUInt(&ok, 16);
      if (!ok || word.size() != 2 || value > 0xFF) return std::nullopt;
      bytes.append(char(value));
    }
    return bytes;
  }

  bool ReadCarried(const YAML::Node& node) {
    std::vector<std::pair<YAML::Node, YAML::Node>> pairs;
    if (!Pairs(node, QStringLiteral("'carried'"), pairs)) return false;
    std::vector<std::pair<YAML::Node, CarriedBytes>> entries;
    PagerData laid = background_;
    for (const auto& [key, value] : pairs) {
      bool ok = false;
      const int offset = QString::fromStdString(key.Scalar()).toInt(&ok, 0);
      if (!ok || offset < 0 || offset >= kImageSize)
        return Refuse(key.Mark(), QStringLiteral("a carried offset is 0x000 to 0x7FF"));
      const std::optional<QByteArray> bytes =
          value.IsScalar() ? ParseHexBytes(QString::fromStdString(value.Scalar())) : std::nullopt;
      if (!bytes || bytes->isEmpty())
        return Refuse(value.Mark(), QStringLiteral("carried bytes are two hex digits each, between blanks"));
      if (offset + bytes->size() > kImageSize)
        return Refuse(value.Mark(), QStringLiteral("carried bytes run past the end of the image"));
      std::copy(bytes->begin(), bytes->end(), laid.image.data() + offset);
      entries.push_back({key, {offset, *bytes}});
    }
    // Carried bytes stand beside the settings, never in their place: a setting's bytes pass the
    // window's checks only when the setting is given in words (or is marked as read). All of them
    // are looked at at once, as a look loads every page; the one to blame only when one is.
    const LoadedValues loaded = runner_.Load(background_);
    const AsReadSettings asRead = AsReadOf(assignments_);
    if (FirstSettingChanged(runner_, loaded, laid, asRead)) {
      PagerData walked = background_;
      for (const auto& [key, carried] : entries) {
        if (const std::optional<SettingPlace> setting = SettingUnder(runner_, loaded, walked, carried, asRead))
          return Refuse(key.Mark(), QStringLiteral("carried bytes at %1 would change %2: give it as %3 instead")
                                        .arg(OffsetText(carried.offset),
                                             SettingTitle(*setting->page, *setting->binding), setting->Key()));
        std::copy(carried.bytes.begin(), carried.bytes.end(), walked.image.data() + carried.offset);
      }
    }
    background_ = laid;
    for (const auto& entry : entries) carried_.push_back(entry.second);
    return true;
  }

  bool ReadSelection(const YAML::Node& node) {
    const std::optional<QByteArray> bytes =
        node.IsScalar() ? ParseHexBytes(QString::fromStdString(node.Scalar())) : std::nullopt;
    if (!bytes || bytes->size() != kSelectionSize)
      return Refuse(node.Mark(), QStringLiteral("the selection is %1 hex bytes").arg(kSelectionSize));
    std::copy(bytes->begin(), bytes->end(), background_.selection.data());
    return true;
  }

  QByteArray text_;
  std::set<int> looked_;  // the containers QuotesClosed has been through, by their place
  PageRunner runner_;
  SettingsError error_;
  PagerData background_;
  std::vector<Assignment> assignments_;
  std::vector<CarriedBytes> carried_;
  QStringList asReadKeys_;                                  // "key (reason)" of each value given as read
  std::vector<std::pair<size_t, YAML::Mark>> asReadMarks_;  // each one's assignment and place
};

}  // namespace

QString SettingsError::Text() const {
  return QStringLiteral("%1:%2:%3: %4").arg(file).arg(line).arg(column).arg(message);
}

SettingsReadResult ReadSettingsDocument(const QByteArray& text, const PagerData& base, const QString& file) {
  return DocumentReader(file).Read(text, base);
}

}  // namespace m84
