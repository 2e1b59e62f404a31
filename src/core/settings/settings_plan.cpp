#include "core/settings/settings_plan.h"

#include "core/settings/setting_values.h"

#include <algorithm>

namespace m84::settings_text {

namespace {

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

// How a document cuts the differing bytes: runs of neighbours, at most one row of a hex dump each.
constexpr int kCarriedRowBytes = 16;

std::vector<CarriedBytes> CarriedRuns(const PagerData& background, const PagerData& base) {
  std::vector<CarriedBytes> runs;
  for (int i = 0; i < kImageSize;) {
    if (background.image[i] == base.image[i]) {
      ++i;
      continue;
    }
    CarriedBytes run{i, {}};
    while (i < kImageSize && background.image[i] != base.image[i] && run.bytes.size() < kCarriedRowBytes)
      run.bytes.append(char(background.image[i++]));
    runs.push_back(run);
  }
  return runs;
}

void Put(const CarriedBytes& carried, PagerData& data) {
  std::copy(carried.bytes.begin(), carried.bytes.end(), data.image.data() + carried.offset);
}

}  // namespace

namespace {

// Whether the store wrote the byte otherwise than from the background's own settings in a bit no
// setting reads (the half time after a new time; a flag's own bit is the setting itself).
bool FollowsTheSettings(PageRunner& runner, const LoadedValues& loaded, const PagerData& stored, const PagerData& own,
                        int offset) {
  const uint8_t differing = stored.image[offset] ^ own.image[offset];
  for (int bit = 0; bit < 8; ++bit) {
    const uint8_t mask = uint8_t(1u << bit);
    if ((differing & mask) == 0) continue;
    const CarriedBytes flipped{offset, QByteArray(1, char(stored.image[offset] ^ mask))};
    if (!SettingUnder(runner, loaded, stored, flipped)) return true;
  }
  return false;
}

}  // namespace

PagerData ReadThrough(PageRunner& runner, const PagerData& background, const std::vector<Assignment>& assignments,
                      const std::vector<CarriedBytes>& carried) {
  PagerData stored = runner.Apply(background, assignments);
  if (carried.empty()) return stored;
  // What the store writes from the background's own settings: a bit the document's settings
  // make the store write otherwise follows them (a half time after a new time), never the
  // carried byte that went with the old value.
  const PagerData own = runner.Apply(background, {});
  const AsReadSettings asRead = AsReadOf(assignments);
  // The pages' values of stored as a run begins, loaded again only once a byte of it changed.
  LoadedValues loaded;
  bool stale = true;
  for (const CarriedBytes& run : carried) {
    if (std::equal(run.bytes.begin(), run.bytes.end(), stored.image.data() + run.offset,
                   [](char byte, uint8_t held) { return uint8_t(byte) == held; }))
      continue;
    if (stale) loaded = runner.Load(stored);
    stale = false;
    for (int i = 0; i < run.bytes.size(); ++i) {
      const int offset = run.offset + i;
      if (stored.image[offset] == uint8_t(run.bytes[i]) || FollowsTheSettings(runner, loaded, stored, own, offset))
        continue;
      const uint8_t laid = FreeBitsTowards(runner, loaded, stored, offset, uint8_t(run.bytes[i]), asRead);
      stale = stale || laid != stored.image[offset];
      stored.image[offset] = laid;
    }
  }
  return stored;
}

uint8_t FreeBitsTowards(PageRunner& runner, const LoadedValues& loaded, const PagerData& background, int offset,
                        uint8_t wanted, const AsReadSettings& asRead) {
  PagerData probe = background;
  const CarriedBytes whole{offset, QByteArray(1, char(wanted))};
  if (!SettingUnder(runner, loaded, probe, whole, asRead)) return wanted;
  // A byte shared by settings and bits no setting reads (a flag byte with a bit the store always
  // sets): the bits that change no setting, one by one.
  for (int bit = 0; bit < 8; ++bit) {
    const uint8_t mask = uint8_t(1u << bit);
    if ((probe.image[offset] & mask) == (wanted & mask)) continue;
    const CarriedBytes flipped{offset, QByteArray(1, char(probe.image[offset] ^ mask))};
    if (!SettingUnder(runner, loaded, probe, flipped, asRead)) Put(flipped, probe);
  }
  return probe.image[offset];
}

namespace {

// The runs as a reader takes them, each over the ones before: a run that would change a setting
// is cut into its bytes, and each byte that would is left out (the setting keeps the base's
// value, as the window would have it).
void KeepCarriedOutOfSettings(PageRunner& runner, const PagerData& base, Plan& plan) {
  const AsReadSettings asRead = AsReadOf(plan.assignments);
  const std::vector<CarriedBytes> runs = CarriedRuns(plan.background, base);
  const LoadedValues loaded = runner.Load(base);
  // Mostly none does, and then one look at them all is enough: a look loads every page.
  PagerData all = base;
  for (const CarriedBytes& run : runs) Put(run, all);
  if (!FirstSettingChanged(runner, loaded, all, asRead)) {
    plan.carried = runs;
    all.selection = plan.background.selection;
    plan.background = all;
    return;
  }
  PagerData kept = base;
  for (const CarriedBytes& run : runs) {
    if (!SettingUnder(runner, loaded, kept, run, asRead)) {
      Put(run, kept);
      plan.carried.push_back(run);
      continue;
    }
    for (int i = 0; i < run.bytes.size(); ++i) {
      const CarriedBytes one{run.offset + i, run.bytes.mid(i, 1)};
      if (SettingUnder(runner, loaded, kept, one, asRead)) continue;
      Put(one, kept);
      plan.carried.push_back(one);
    }
  }
  kept.selection = plan.background.selection;
  plan.background = kept;
}

// Where the pages' store still does not give the target after the carried bytes were laid again
// (a byte shared by settings and a bit the store always sets), the bits of that byte that no
// setting reads are carried as well.
void CarryFreeBits(PageRunner& runner, const PagerData& target, const std::vector<Assignment>& assignments,
                   Plan& plan) {
  const PagerData read = ReadThrough(runner, plan.background, assignments, plan.carried);
  // Each image looked at by a runner of its own, so that neither loads every page again after a
  // look at the other.
  PageRunner readRunner;
  const LoadedValues readValues = readRunner.Load(read);
  const LoadedValues loaded = runner.Load(plan.background);
  const AsReadSettings asRead = AsReadOf(assignments);
  for (int i = 0; i < kImageSize; ++i) {
    if (read.image[i] == target.image[i]) continue;
    const auto at =
        std::lower_bound(plan.carried.begin(), plan.carried.end(), i,
                         [](const CarriedBytes& c, int offset) { return c.offset + c.bytes.size() <= offset; });
    if (at != plan.carried.end() && at->offset <= i) continue;
    // Laid first over the background, and again over what the store made: each time only where
    // it changes no setting. The byte may equal the background's: the second time is what counts.
    const uint8_t free = FreeBitsTowards(runner, loaded, plan.background, i, target.image[i], asRead);
    if (FreeBitsTowards(readRunner, readValues, read, i, free, asRead) == read.image[i]) continue;
    const CarriedBytes one{i, QByteArray(1, char(free))};
    Put(one, plan.background);
    plan.carried.insert(at, one);
  }
}

}  // namespace

QString SettingPlace::Key() const {
  for (const Item& item : page->items) {
    if (item.setting == binding) return page->name + QLatin1Char('.') + item.name;
    for (size_t row = 0; row < item.rows.size(); ++row)
      for (Binding member : item.rows[row])
        if (member == binding)
          return QStringLiteral("%1.%2[%3].%4").arg(page->name, item.name).arg(row + 1).arg(member->form.member);
  }
  return page->name;
}

AsReadSettings AsReadOf(const std::vector<Assignment>& assignments) {
  AsReadSettings asRead;
  for (const Assignment& a : assignments)
    if (a.asRead) asRead.insert(a.binding);
  return asRead;
}

std::optional<SettingPlace> FirstSettingChanged(PageRunner& runner, const LoadedValues& loaded, const PagerData& after,
                                                const AsReadSettings& asRead) {
  const int place = runner.FirstDiffering(after, loaded, asRead);
  if (place < 0) return std::nullopt;
  const auto& [page, binding] = Catalog::Get().Settings()[size_t(place)];
  return SettingPlace{page, binding};
}

std::optional<SettingPlace> SettingUnder(PageRunner& runner, const LoadedValues& loaded, const PagerData& background,
                                         const CarriedBytes& carried, const AsReadSettings& asRead) {
  PagerData probe = background;
  Put(carried, probe);
  if (probe.image == background.image) return std::nullopt;
  return FirstSettingChanged(runner, loaded, probe, asRead);
}

Plan MakePlan(const PagerData& target, const PagerData& base, Extent extent) {
  Plan plan;
  PageRunner runner;
  const LoadedValues targetPages = runner.Load(target);
  const LoadedValues basePages = runner.Load(base);
  for (const CatalogPage& page : Catalog::Get().Pages()) {
    ForEachSetting(page, [&](Binding binding) {
      const SettingValue& kind = ValueOf(binding->form);
      const QVariant value = targetPages.Value(page.id, binding);
      const QString refusal = kind.Refusal(binding->form, value);
      // A value the window would refuse is given as the pager held it, so that nothing a data file
      // keeps is lost; the document marks it and names the check.
      const bool asRead = !refusal.isEmpty();
      const QVariant given = asRead ? value : kind.Canonical(binding->form, value);
      if (extent == Extent::Differences) {
        const QVariant before = basePages.Value(page.id, binding);
        const bool beforeAsRead = !kind.Refusal(binding->form, before).isEmpty();
        if (beforeAsRead == asRead && (asRead ? before : kind.Canonical(binding->form, before)) == given) return;
      }
      if (asRead) plan.refused.insert(binding, refusal);
      plan.assignments.push_back({page.id, binding, given, asRead});
    });
  }
  plan.background = CarriedBackground(runner, target, base, plan.assignments);
  KeepCarriedOutOfSettings(runner, base, plan);
  CarryFreeBits(runner, target, plan.assignments, plan);
  return plan;
}

}  // namespace m84::settings_text
