// Every colour of the cube against the rule. Slow (the rule alone is 2^24 x
// 256 distances per palette), so it runs as its own test labelled
// "exhaustive" rather than with the unit tests.
#include "colour_table.h"

#include <gtest/gtest.h>

#include <memory>

#include "colour_match.h"
#include "test_palettes.h"

// For each sweep palette the table holds the rule's index for all 2^24 colours.
TEST(ColourTableExhaustive, EveryColourMatchesTheRule) {
    std::unique_ptr<uint8_t[]> table(new uint8_t[kColourTableSize]);
    for (const NamedPalette& p : SweepPalettes()) {
        ASSERT_TRUE(BuildColourTable(p.colours.data(), table.get())) << p.name;
        uint64_t wrong = 0;
        for (uint32_t key = 0; key < kColourTableSize; ++key) {
            const uint8_t want = NearestReferenceColour(key >> 16, key >> 8, key, p.colours.data());
            if (table[key] != want && ++wrong <= 5) {
                ADD_FAILURE() << p.name << ": colour " << std::hex << key << std::dec << " gave "
                              << int{table[key]} << ", rule " << int{want};
            }
        }
        EXPECT_EQ(wrong, 0u) << p.name;
    }
}
