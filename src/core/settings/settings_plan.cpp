#include "core/settings/settings_plan.h"

#include "core/settings/setting_values.h"

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

}  // namespace

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
      if (!refusal.isEmpty()) {
        plan.refused.insert(binding, refusal);
        return;
      }
      const QVariant canonical = kind.Canonical(binding->form, value);
      if (extent == Extent::Differences) {
        const QVariant before = basePages.Value(page.id, binding);
        if (kind.Refusal(binding->form, before).isEmpty() && kind.Canonical(binding->form, before) == canonical) return;
      }
      plan.assignments.push_back({page.id, binding, canonical});
    });
  }
  plan.background = CarriedBackground(runner, target, base, plan.assignments);
  return plan;
}

}  // namespace m84::settings_text
