#include "core/settings/settings_document.h"

#include <yaml-cpp/yaml.h>

#include <QDateTime>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <array>
#include <vector>

#include "core/settings/edit_distance.h"
#include "core/pages/field_codecs.h"
#include "core/pages/model_page_set.h"

#ifndef M84_PROGRAM_VERSION
#define M84_PROGRAM_VERSION "unknown"
#endif

namespace m84 {

namespace {

constexpr char kFormatKey[] = "format";
constexpr char kCarriedKey[] = "carried";
constexpr char kSelectionKey[] = "selection";
constexpr int kCarriedRowBytes = 16;  // one line of carried bytes, as a hex dump shows them
constexpr uint16_t kDeleteCharacter = 0x7F;
// A typo at most this far from a key (or from its label) still names the key meant.
constexpr int kNearestKeyDistance = 3;
const QString kArrow = QStringLiteral(" \u2192 ");

// ---------------------------------------------------------------------------------------------
// The catalogue: every setting of the twelve tab pages, as their binding tables declare them.

using Binding = const FieldBinding*;

// A key of a page's mapping: one setting, or a grid of rows.
struct Item {
  QString name;
  Binding setting = nullptr;
  std::vector<std::vector<Binding>> rows;
};

struct CatalogPage {
  PageId id;
  QString name;   // the tab as a key: "name_misc"
  QString title;  // the tab as shown, without its outer blanks
  std::vector<Item> items;
};

class Catalog {
 public:
  static const Catalog& Get() {
    static const Catalog catalog;
    return catalog;
  }
  const std::vector<CatalogPage>& Pages() const { return pages_; }

 private:
  Catalog();

  PagerData data_;
  ModelPageSet models_{data_};
  std::vector<CatalogPage> pages_;
};

Catalog::Catalog() {
  for (const PageInfo& info : kTabPages) {
    const QString tab = QString::fromLatin1(info.tabLabel);
    CatalogPage page{info.id, SnakeCase(tab), tab.simplified(), {}};
    for (const FieldBinding& binding : models_.Page(info.id).Table()) {
      const SettingForm& form = binding.form;
      if (form.kind == SettingKind::None) continue;
      if (form.group.isEmpty()) {
        page.items.push_back({SnakeCase(binding.key), &binding, {}});
        continue;
      }
      auto grid = std::find_if(page.items.begin(), page.items.end(),
                               [&](const Item& item) { return !item.setting && item.name == form.group; });
      if (grid == page.items.end()) grid = page.items.insert(page.items.end(), Item{form.group, nullptr, {}});
      if (int(grid->rows.size()) <= form.row) grid->rows.resize(size_t(form.row) + 1);
      grid->rows[size_t(form.row)].push_back(&binding);
    }
    pages_.push_back(std::move(page));
  }
}

template <typename Visit>
void ForEachSetting(const CatalogPage& page, Visit visit) {
  for (const Item& item : page.items) {
    if (item.setting) visit(item.setting);
    for (const auto& row : item.rows)
      for (Binding binding : row) visit(binding);
  }
}

// ---------------------------------------------------------------------------------------------
// Values in words.

QString EntryWord(const QString& entry) { return entry.trimmed(); }

int EntryIndexOfWord(const QStringList& entries, const QString& word) {
  for (int i = 0; i < entries.size(); ++i)
    if (EntryWord(entries[i]) == word) return i;
  return -1;
}

QString CharacterName(const QString& c) {
  return QStringLiteral("'%1' (U+%2)").arg(c).arg(QString::number(c.toUcs4().value(0), 16).toUpper().rightJustified(4, QLatin1Char('0')));
}

// Why the window would not take this value for the setting; empty when it would.
QString Refusal(const FieldBinding& binding, const QVariant& value) {
  const SettingForm& form = binding.form;
  switch (form.kind) {
    case SettingKind::None:
    case SettingKind::Flag:
      return QString();
    case SettingKind::Number: {
      const long long number = value.toLongLong();
      if (number >= form.lo && number <= form.hi) return QString();
      return form.message.isEmpty()
                 ? QStringLiteral("%1 must be in range %2 to %3").arg(form.label).arg(form.lo).arg(form.hi)
                 : form.message;
    }
    case SettingKind::Entry: {
      const int index = value.toInt();
      if (index < 0 || index >= form.entries.size()) return QStringLiteral("%1 shows no entry").arg(form.label);
      if (form.accepts && !form.accepts(form.entries[index])) return form.message;
      return QString();
    }
    case SettingKind::Text: {
      const QString text = value.toString();
      if (const QString c = FirstUnencodableCharacter(text); !c.isEmpty())
        return QStringLiteral("%1: the character %2 cannot be stored in the pager").arg(form.label, CharacterName(c));
      if (text.size() > form.width)
        return QStringLiteral("%1 holds at most %2 characters").arg(form.label).arg(form.width);
      if (form.accepts && !form.accepts(text)) return form.message;
      return QString();
    }
  }
  return QString();
}

// The variable as reading the document's words gives it back.
QVariant Canonical(const FieldBinding& binding, const QVariant& value) {
  const SettingForm& form = binding.form;
  switch (form.kind) {
    case SettingKind::Flag: return QVariant(value.toBool());
    case SettingKind::Number: return QVariant(value.toInt());
    case SettingKind::Entry: return QVariant(EntryIndexOfWord(form.entries, EntryWord(form.entries[value.toInt()])));
    case SettingKind::Text: return QVariant(value.toString());
    case SettingKind::None: break;
  }
  return value;
}

// The value as a diff line shows it: in words, also where the window would refuse it.
QString ShownWords(const FieldBinding& binding, const QVariant& value) {
  const SettingForm& form = binding.form;
  switch (form.kind) {
    case SettingKind::Flag: return value.toBool() ? QStringLiteral("on") : QStringLiteral("off");
    case SettingKind::Number: return QString::number(value.toLongLong());
    case SettingKind::Entry: {
      const int index = value.toInt();
      return index >= 0 && index < form.entries.size() ? EntryWord(form.entries[index]) : QStringLiteral("(no entry)");
    }
    case SettingKind::Text: return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    case SettingKind::None: break;
  }
  return value.toString();
}

QString SettingTitle(const CatalogPage& page, const FieldBinding& binding) {
  QString title = page.title + QStringLiteral(" / ");
  if (!binding.form.rowLabel.isEmpty()) title += binding.form.rowLabel + QStringLiteral(" / ");
  return title + binding.form.label;
}

QString HexByte(uint8_t byte) { return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper(); }

QString HexBytes(const uint8_t* bytes, int count) {
  QStringList hex;
  for (int i = 0; i < count; ++i) hex << HexByte(bytes[i]);
  return hex.join(QLatin1Char(' '));
}

QString OffsetText(int offset) {
  return QStringLiteral("0x") + QStringLiteral("%1").arg(offset, 3, 16, QLatin1Char('0')).toUpper();
}

// ---------------------------------------------------------------------------------------------
// Applying settings: the pages load the background, take the values, and store, as the window
// does after the user changed its controls.

struct Assignment {
  PageId page;
  Binding binding;
  QVariant value;
};

// Every page's variables, as a load left them.
class LoadedValues {
 public:
  QVariant Value(PageId id, Binding binding) const { return values_[size_t(id)].Value(binding->key); }

 private:
  friend class PageRunner;
  std::array<PageValues, kTabPageCount + 1> values_;
};

// The window's pages without the window, loaded and stored again and again as the window's own
// pages are: making them (and their binding tables) anew for every pass would cost more than
// the passes themselves.
class PageRunner {
 public:
  PageRunner() : pages_(data_, DisplayMode::Advanced) {}

  PagerData Apply(const PagerData& background, const std::vector<Assignment>& assignments) {
    data_ = background;
    pages_.ExchangeAllPages(Direction::Load);
    for (const Assignment& a : assignments) pages_.Page(a.page).Values().Set(a.binding->key, a.value);
    pages_.ExchangeAllPages(Direction::Store);
    return data_;
  }

  LoadedValues Load(const PagerData& data) {
    data_ = data;
    pages_.ExchangeAllPages(Direction::Load);
    LoadedValues loaded;
    for (const PageInfo& info : kTabPages) loaded.values_[size_t(info.id)] = pages_.Page(info.id).Values();
    return loaded;
  }

 private:
  PagerData data_;
  ModelPageSet pages_;
};

// What a document says to turn `base` into `target`: the settings in words, and the base with
// the bytes that no setting gives (the carried bytes and the selection block).
struct Plan {
  std::vector<Assignment> assignments;
  QHash<Binding, QString> refused;  // settings the window would not show as they are
  PagerData background;
};

// Copies the target's byte into the background wherever the rule says; true when any moved.
template <typename Rule>
bool MoveTowards(const PagerData& target, PagerData& background, const PagerData& result, Rule copies) {
  bool moved = false;
  for (int i = 0; i < kImageSize; ++i) {
    if (background.image[i] != target.image[i] && copies(result.image[i], background.image[i], target.image[i])) {
      background.image[i] = target.image[i];
      moved = true;
    }
  }
  for (int i = 0; i < kSelectionSize; ++i) {
    if (background.selection[i] != target.selection[i] &&
        copies(result.selection[i], background.selection[i], target.selection[i])) {
      background.selection[i] = target.selection[i];
      moved = true;
    }
  }
  return moved;
}

// The bytes that the settings do not give are copied from the target until the pages' store
// gives the target throughout. Bytes only ever move towards the target, so this ends, at the
// latest with the whole target (which the store leaves as it is: it is what the store made).
PagerData CarriedBackground(PageRunner& runner, const PagerData& target, PagerData background,
                            const std::vector<Assignment>& assignments) {
  for (;;) {
    const PagerData result = runner.Apply(background, assignments);
    if (MoveTowards(target, background, result, [](uint8_t out, uint8_t, uint8_t want) { return out != want; }))
      continue;
    if (result.image == target.image && result.selection == target.selection) return background;
    // A store may read bytes that it also writes (a text up to its first zero byte) and give the
    // target in a byte whose input still differs: the target's bytes go wherever the pages write.
    if (MoveTowards(target, background, result, [](uint8_t out, uint8_t in, uint8_t) { return out != in; })) continue;
    MoveTowards(target, background, result, [](uint8_t, uint8_t, uint8_t) { return true; });
    return background;
  }
}

enum class Extent { Whole, Differences };

Plan MakePlan(const PagerData& target, const PagerData& base, Extent extent) {
  Plan plan;
  PageRunner runner;
  const LoadedValues targetPages = runner.Load(target);
  const LoadedValues basePages = runner.Load(base);
  for (const CatalogPage& page : Catalog::Get().Pages()) {
    ForEachSetting(page, [&](Binding binding) {
      const QVariant value = targetPages.Value(page.id, binding);
      const QString refusal = Refusal(*binding, value);
      if (!refusal.isEmpty()) {
        plan.refused.insert(binding, refusal);
        return;
      }
      const QVariant canonical = Canonical(*binding, value);
      if (extent == Extent::Differences) {
        const QVariant before = basePages.Value(page.id, binding);
        if (Refusal(*binding, before).isEmpty() && Canonical(*binding, before) == canonical) return;
      }
      plan.assignments.push_back({page.id, binding, canonical});
    });
  }
  plan.background = CarriedBackground(runner, target, base, plan.assignments);
  return plan;
}

// ---------------------------------------------------------------------------------------------
// Writing.

std::string Utf8(const QString& text) { return text.toStdString(); }

void EmitValue(YAML::Emitter& out, const FieldBinding& binding, const QVariant& value) {
  switch (binding.form.kind) {
    case SettingKind::Flag: out << value.toBool(); break;
    case SettingKind::Number: out << value.toLongLong(); break;
    case SettingKind::Entry: out << YAML::DoubleQuoted << Utf8(EntryWord(binding.form.entries[value.toInt()])); break;
    case SettingKind::Text: {
      // yaml-cpp writes DEL as it is, which YAML does not allow unescaped; escaping every
      // character past ASCII escapes it too.
      const QString text = value.toString();
      if (text.contains(QChar(kDeleteCharacter))) out << YAML::EscapeNonAscii;
      out << YAML::DoubleQuoted << Utf8(text);
      break;
    }
    case SettingKind::None: out << YAML::Null; break;
  }
}

class DocumentWriter {
 public:
  DocumentWriter(const Plan& plan, const PagerData& base, Extent extent) : plan_(plan), base_(base), extent_(extent) {
    for (const Assignment& a : plan.assignments) values_.insert(a.binding, a.value);
  }

  QByteArray Write(const QString& header) {
    out_ << YAML::BeginMap << YAML::Key << kFormatKey << YAML::Value << kSettingsFormat;
    for (const CatalogPage& page : Catalog::Get().Pages()) WritePage(page);
    WriteCarried();
    WriteSelection();
    out_ << YAML::EndMap;
    return (header + notes_.join(QString())).toUtf8() + QByteArray(out_.c_str()) + '\n';
  }

 private:
  bool Written(Binding binding) const { return values_.contains(binding); }

  bool AnyWritten(const Item& item) const {
    if (item.setting) return Written(item.setting);
    for (const auto& row : item.rows)
      if (std::any_of(row.begin(), row.end(), [this](Binding b) { return Written(b); })) return true;
    return false;
  }

  // A whole document says which settings it leaves to the carried bytes, and why.
  bool Noted(Binding binding) const { return extent_ == Extent::Whole && plan_.refused.contains(binding); }

  void WritePage(const CatalogPage& page) {
    NoteRefused(page);
    if (std::none_of(page.items.begin(), page.items.end(), [this](const Item& item) { return AnyWritten(item); })) return;
    out_ << YAML::Key << Utf8(page.name) << YAML::Value << YAML::BeginMap;
    for (const Item& item : page.items) {
      if (!AnyWritten(item)) continue;
      if (item.setting) {
        WriteSetting(item.name, item.setting);
        continue;
      }
      out_ << YAML::Key << Utf8(item.name) << YAML::Value << YAML::BeginSeq;
      // A row left out keeps its place in the sequence as an empty mapping.
      size_t rows = item.rows.size();
      while (rows > 0 && std::none_of(item.rows[rows - 1].begin(), item.rows[rows - 1].end(),
                                      [this](Binding b) { return Written(b); }))
        --rows;
      for (size_t row = 0; row < rows; ++row) {
        out_ << YAML::BeginMap;
        for (Binding binding : item.rows[row])
          if (Written(binding)) WriteSetting(binding->form.member, binding);
        out_ << YAML::EndMap;
      }
      out_ << YAML::EndSeq;
    }
    out_ << YAML::EndMap;
  }

  void WriteSetting(const QString& name, Binding binding) {
    if (!Written(binding)) return;
    out_ << YAML::Key << Utf8(name) << YAML::Value;
    EmitValue(out_, *binding, values_.value(binding));
  }

  // The header names each setting the window would not show as it is: its bytes are carried.
  void NoteRefused(const CatalogPage& page) {
    for (const Item& item : page.items) {
      if (item.setting && Noted(item.setting))
        notes_ << QStringLiteral("# carried, not in words: %1.%2 (%3)\n")
                      .arg(page.name, item.name, plan_.refused.value(item.setting));
      for (size_t row = 0; row < item.rows.size(); ++row)
        for (Binding binding : item.rows[row])
          if (Noted(binding))
            notes_ << QStringLiteral("# carried, not in words: %1.%2[%3].%4 (%5)\n")
                          .arg(page.name, item.name)
                          .arg(row + 1)
                          .arg(binding->form.member, plan_.refused.value(binding));
    }
  }

  void WriteCarried() {
    std::vector<int> offsets;
    for (int i = 0; i < kImageSize; ++i)
      if (plan_.background.image[i] != base_.image[i]) offsets.push_back(i);
    if (offsets.empty()) return;
    out_ << YAML::Key << kCarriedKey << YAML::Value << YAML::BeginMap;
    for (size_t at = 0; at < offsets.size();) {
      // A run of neighbouring bytes, cut into rows.
      size_t end = at + 1;
      while (end < offsets.size() && offsets[end] == offsets[end - 1] + 1 && int(end - at) < kCarriedRowBytes) ++end;
      out_ << YAML::Key << Utf8(OffsetText(offsets[at])) << YAML::Value << YAML::DoubleQuoted
           << Utf8(HexBytes(plan_.background.image.data() + offsets[at], int(end - at)));
      at = end;
    }
    out_ << YAML::EndMap;
  }

  void WriteSelection() {
    if (extent_ == Extent::Differences && plan_.background.selection == base_.selection) return;
    out_ << YAML::Key << kSelectionKey << YAML::Value << YAML::DoubleQuoted
         << Utf8(HexBytes(plan_.background.selection.data(), kSelectionSize));
  }

  const Plan& plan_;
  const PagerData& base_;
  Extent extent_;
  QHash<Binding, QVariant> values_;
  QStringList notes_;
  YAML::Emitter out_;
};

QString Header(const QString& what) {
  return QStringLiteral("# M84 DPT %1, written by m84dpt %2 on %3\n")
      .arg(what, QStringLiteral(M84_PROGRAM_VERSION),
           QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'")));
}

// ---------------------------------------------------------------------------------------------
// Reading.

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

QString QuotedKey(const std::string& key) { return QLatin1Char('\'') + QString::fromStdString(key) + QLatin1Char('\''); }

// The first refusal ends the reading; every step returns false once there is one.
class DocumentReader {
 public:
  explicit DocumentReader(QString file) { error_.file = std::move(file); }

  SettingsReadResult Read(const QByteArray& text, const PagerData& base) {
    SettingsReadResult result;
    try {
      if (ReadRoot(YAML::Load(text.toStdString()), base)) result.data = PageRunner().Apply(background_, assignments_);
    } catch (const YAML::ParserException& e) {
      Refuse(e.mark, QString::fromStdString(e.msg));
    } catch (const YAML::Exception& e) {
      Refuse(e.mark, QString::fromStdString(e.msg));
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
      return Refuse(root.Mark(), QStringLiteral("not a settings document: it starts with 'format: %1'").arg(kSettingsFormat));
    std::vector<std::pair<YAML::Node, YAML::Node>> pairs;
    if (!Pairs(root, QStringLiteral("a settings document"), pairs)) return false;
    std::vector<KnownName> known = {{kFormatKey, {}}, {kCarriedKey, {}}, {kSelectionKey, {}}};
    for (const CatalogPage& page : Catalog::Get().Pages()) known.push_back({page.name, page.title});
    std::vector<std::pair<const CatalogPage*, YAML::Node>> pages;
    for (const auto& [key, value] : pairs) {
      const std::string name = key.Scalar();
      if (name == kFormatKey) {
        if (!value.IsScalar() || value.Scalar() != kSettingsFormat)
          return Refuse(value.Mark(), QStringLiteral("this program reads 'format: %1'").arg(kSettingsFormat));
      } else if (name == kCarriedKey) {
        if (!ReadCarried(value)) return false;
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
    return true;
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
    for (const Item& item : page.items) known.push_back({item.name, item.setting ? item.setting->form.label : QString()});
    for (const auto& [key, value] : pairs) {
      const QString name = QString::fromStdString(key.Scalar());
      const auto item = std::find_if(page.items.begin(), page.items.end(), [&](const Item& i) { return i.name == name; });
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

  bool ReadSetting(const CatalogPage& page, const FieldBinding& binding, const YAML::Node& key, const YAML::Node& node) {
    const SettingForm& form = binding.form;
    // An empty value has no place of its own: the key's is the one to show.
    const YAML::Mark mark = node.IsNull() || node.Mark().line < 0 ? key.Mark() : node.Mark();
    if (!node.IsScalar()) return Refuse(mark, QStringLiteral("%1 needs a single value").arg(form.label));
    const QString word = QString::fromStdString(node.Scalar());
    QVariant value;
    switch (form.kind) {
      case SettingKind::Flag: {
        const QString lower = word.toLower();
        if (lower != QLatin1String("true") && lower != QLatin1String("false"))
          return Refuse(mark, QStringLiteral("%1 is true or false").arg(form.label));
        value = lower == QLatin1String("true");
        break;
      }
      case SettingKind::Number: {
        bool number = false;
        const long long n = word.trimmed().toLongLong(&number);
        if (!number) return Refuse(mark, QStringLiteral("%1 is a whole number").arg(form.label));
        // Beyond the range an int holds is beyond every range here too.
        value = QVariant(int(std::clamp<long long>(n, form.lo - 1, form.hi + 1)));
        break;
      }
      case SettingKind::Entry: {
        const int index = EntryIndexOfWord(form.entries, EntryWord(word));
        if (index < 0) {
          QStringList entries;
          for (const QString& entry : form.entries) entries << EntryWord(entry);
          return Refuse(mark, QStringLiteral("'%1' is no entry of %2 (entries: %3)")
                                  .arg(word, form.label, entries.join(QStringLiteral(", "))));
        }
        value = index;
        break;
      }
      case SettingKind::Text:
        value = word;
        break;
      case SettingKind::None:
        break;
    }
    if (const QString refusal = Refusal(binding, value); !refusal.isEmpty()) return Refuse(mark, refusal);
    assignments_.push_back({page.id, &binding, value});
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
      std::copy(bytes->begin(), bytes->end(), background_.image.data() + offset);
    }
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

  SettingsError error_;
  PagerData background_;
  std::vector<Assignment> assignments_;
};

// ---------------------------------------------------------------------------------------------
// The reference.

QString MarkdownCell(QString text) { return text.replace(QLatin1Char('|'), QStringLiteral("\\|")); }

QString Accepts(const SettingForm& form) {
  switch (form.kind) {
    case SettingKind::Flag: return QStringLiteral("`true` or `false`");
    case SettingKind::Number: return QStringLiteral("a whole number, %1 to %2").arg(form.lo).arg(form.hi);
    case SettingKind::Entry: {
      QStringList entries;
      for (const QString& entry : form.entries) entries << QLatin1Char('"') + EntryWord(entry) + QLatin1Char('"');
      return QStringLiteral("one of ") + entries.join(QStringLiteral(", "));
    }
    case SettingKind::Text: {
      QString text = QStringLiteral("a quoted text of at most %1 characters").arg(form.width);
      if (!form.message.isEmpty()) text += QStringLiteral("; the window checks: \"%1\"").arg(form.message);
      return text;
    }
    case SettingKind::None: break;
  }
  return QString();
}

QString ReferenceRow(const QString& key, const QString& label, const SettingForm& form) {
  QString accepts = Accepts(form);
  if (form.kind == SettingKind::Number && !form.message.isEmpty())
    accepts += QStringLiteral("; else \"%1\"").arg(form.message);
  return QStringLiteral("| `%1` | %2 | %3 |\n").arg(key, MarkdownCell(label), MarkdownCell(accepts));
}

}  // namespace

QString SettingsError::Text() const {
  return QStringLiteral("%1:%2:%3: %4").arg(file).arg(line).arg(column).arg(message);
}

QByteArray WriteSettingsDocument(const PagerData& data) {
  const PagerData defaults;
  const Plan plan = MakePlan(data, defaults, Extent::Whole);
  return DocumentWriter(plan, defaults, Extent::Whole).Write(Header(QStringLiteral("settings")));
}

QByteArray WriteSettingsPatch(const PagerData& from, const PagerData& to) {
  const Plan plan = MakePlan(to, from, Extent::Differences);
  return DocumentWriter(plan, from, Extent::Differences)
      .Write(Header(QStringLiteral("settings patch")) + QStringLiteral("# Read it over the first file of the diff.\n"));
}

SettingsReadResult ReadSettingsDocument(const QByteArray& text, const PagerData& base, const QString& file) {
  return DocumentReader(file).Read(text, base);
}

QStringList SettingsDifferences(const PagerData& from, const PagerData& to) {
  QStringList lines;
  PageRunner runner;
  const LoadedValues fromPages = runner.Load(from);
  const LoadedValues toPages = runner.Load(to);
  for (const CatalogPage& page : Catalog::Get().Pages()) {
    ForEachSetting(page, [&](Binding binding) {
      const QString before = ShownWords(*binding, fromPages.Value(page.id, binding));
      const QString after = ShownWords(*binding, toPages.Value(page.id, binding));
      if (before != after) lines << SettingTitle(page, *binding) + QStringLiteral(": ") + before + kArrow + after;
    });
  }
  const Plan plan = MakePlan(to, from, Extent::Differences);
  for (int i = 0; i < kImageSize; ++i) {
    if (plan.background.image[i] == from.image[i]) continue;
    lines << QStringLiteral("Carried %1: %2%3%4")
                 .arg(OffsetText(i), HexByte(from.image[i]), kArrow, HexByte(plan.background.image[i]));
  }
  for (int i = 0; i < kSelectionSize; ++i) {
    if (plan.background.selection[i] == from.selection[i]) continue;
    lines << QStringLiteral("Selection byte %1: %2%3%4")
                 .arg(QString::number(i), HexByte(from.selection[i]), kArrow, HexByte(plan.background.selection[i]));
  }
  return lines;
}

QString SettingsReference() {
  QString text = QStringLiteral(
      "# The settings as text: every key\n\n"
      "<!-- Made by the build from the pages' declarations: edit those, not this file. -->\n\n"
      "A settings document (`.yaml` or `.yml`) is what `m84dpt convert`, `new` and `read` write when the\n"
      "output ends in `.yaml`, and what every command that loads settings reads. It starts with\n"
      "`format: %1`, then holds one mapping per page, named as the page's tab, in tab order.\n"
      "A document may hold only some settings: the rest come from `--base FILE`, or from the default\n"
      "settings. Texts are quoted and keep every character, trailing blanks included; list entries are\n"
      "written without their padding blanks.\n\n"
      "Grids are sequences of rows, each row a mapping; a row written as `{}` is left as it is.\n\n"
      "Two keys carry what no page shows, so that nothing is lost:\n\n"
      "- `carried`: image bytes that no setting gives, as `0x0F0: \"01 02 03\"` (offset, then hex bytes).\n"
      "- `selection`: the 16-byte selection block, as hex bytes.\n\n"
      "They are applied first, so a setting written in the document always wins over them.\n")
                     .arg(kSettingsFormat);
  for (const CatalogPage& page : Catalog::Get().Pages()) {
    text += QStringLiteral("\n## %1: `%2`\n\n| Key | Label | Accepts |\n|---|---|---|\n").arg(page.title, page.name);
    for (const Item& item : page.items) {
      if (item.setting) {
        text += ReferenceRow(item.name, item.setting->form.label, item.setting->form);
        continue;
      }
      const auto& first = item.rows.front();
      const QString rows = QStringLiteral("%1 … %2").arg(first.front()->form.rowLabel, item.rows.back().front()->form.rowLabel);
      for (Binding binding : first)
        text += ReferenceRow(QStringLiteral("%1[1..%2].%3").arg(item.name).arg(item.rows.size()).arg(binding->form.member),
                             rows + QStringLiteral(": ") + binding->form.label, binding->form);
    }
  }
  return text;
}

}  // namespace m84
