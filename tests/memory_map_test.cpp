// The memory map: no bit of the image is held by two fields, and a field laid over another's
// bits, such as the Reminders page's two flags of byte 0x83, is caught.
#include <gtest/gtest.h>

#include <string>

#include "core/image/memory_map.h"

using namespace m84;

namespace {

std::string Described(const std::vector<FieldOverlap>& overlaps) {
  std::string text;
  for (const FieldOverlap& o : overlaps)
    text += std::string(o.first->name) + " (" + o.first->owner + ") and " + o.second->name + " (" + o.second->owner +
            ") at byte " + std::to_string(o.byte) + ", bits " + std::to_string(o.bits) + "\n";
  return text;
}

// The map with one field more, and its overlaps, which point into the fields kept beside them.
struct MapWithField {
  std::vector<ImageField> fields;
  std::vector<FieldOverlap> overlaps;
};

MapWithField WithField(const ImageField& added) {
  MapWithField map{MemoryMap(), {}};
  map.fields.push_back(added);
  map.overlaps = MapOverlaps(map.fields);
  return map;
}

}  // namespace

TEST(MemoryMap, NoTwoFieldsHoldTheSameBit) {
  const std::vector<FieldOverlap> overlaps = MapOverlaps(MemoryMap());
  EXPECT_TRUE(overlaps.empty()) << Described(overlaps);
}

TEST(MemoryMap, AFieldOverAnotherPagesBitsIsCaught) {
  const MapWithField map = WithField({"repeatCount", "Duplicate Message", image_map::kReminderOptionsByte, 1, 0x03});
  const std::vector<FieldOverlap>& overlaps = map.overlaps;
  ASSERT_EQ(overlaps.size(), 2u) << Described(overlaps);
  EXPECT_STREQ(overlaps[0].first->name, "reminderAlert");
  EXPECT_STREQ(overlaps[1].first->name, "unreadIndication");
  EXPECT_EQ(overlaps[0].byte, 0x83);
}

TEST(MemoryMap, BytesAndRunsOverlapByTheirWholeLength) {
  // The last byte of the first standby text, and the blank byte between two canned texts.
  EXPECT_EQ(WithField({"late", "Display", image_map::kStandbyText1.At(0) + 14}).overlaps.size(), 1u);
  EXPECT_TRUE(WithField({"gap", "Canned", image_map::kCannedTexts.At(1) - 2, 2}).overlaps.empty());
  EXPECT_EQ(WithField({"inRun", "Canned", image_map::kCannedTexts.At(19) + 29}).overlaps.size(), 1u);
}

TEST(MemoryMap, TheGuidesExampleTakesBitsNobodyHolds) {
  EXPECT_TRUE(WithField({"repeatCount", "Duplicate Message", image_map::kMenuOptionsByte, 1, 0x02}).overlaps.empty());
}
