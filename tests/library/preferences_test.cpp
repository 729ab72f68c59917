// The preference menus' items both ways and the fonts offered on this machine.

#include <gtest/gtest.h>

#include "library/library_reset.h"
#include "library/new_style.h"
#include "library/preference_menus.h"
#include "library_fixture.h"

namespace orlavine {
namespace {

TEST(PreferenceMenus, ItemsAndValuesMatchBothWays) {
    EXPECT_EQ(themeForMenuItem(8), "dark");
    EXPECT_EQ(themeForMenuItem(1), "light");
    EXPECT_EQ(themeForMenuItem(99), "light");
    EXPECT_EQ(themeMenuItem("nord"), 14u);
    EXPECT_EQ(themeMenuItem("dark"), 7u);
    EXPECT_EQ(themeMenuItem("unknown"), 0u);
    for (std::size_t item = 0; item < 15; ++item) {
        EXPECT_EQ(themeForMenuItem(themeMenuItem(themeForMenuItem(item))), themeForMenuItem(item));
    }
    EXPECT_EQ(fontForMenuItem(3), "Fira Code");
    EXPECT_EQ(fontMenuItem("Cascadia Code"), 4u);
    EXPECT_EQ(fontForMenuItem(7), "Menlo");
    EXPECT_EQ(toolbarForMenuItem(2), "expanded");
    EXPECT_EQ(toolbarMenuItem("compact"), 1u);
    EXPECT_FALSE(titleBoxEnabled("expanded"));

    // Only installed families are offered, and the system's monospace font always is.
    EXPECT_EQ(offeredFonts({"DejaVu Sans Mono", "Fira Code", "Courier"}, "DejaVu Sans Mono"),
              (std::vector<std::string>{"Courier", "Fira Code", "DejaVu Sans Mono"}));
    EXPECT_EQ(offeredFonts({"Courier"}, "Courier"), (std::vector<std::string>{"Courier"}));
}

}  // namespace
}  // namespace orlavine

namespace orlavine {
namespace {

TEST(LibraryReset, RefusedWhileStylesAreOpenElseTheLibraryStartsEmpty) {
    testing::LibraryFixture f;
    ASSERT_TRUE(createNewStyle(NewStyleForm{.name = "Kept"}, f.services()));
    const styleDatabase before = f.saved();

    const auto refused = resetLibrary(*f.store, {before.styles[0].uniqueID});
    ASSERT_TRUE(refused);
    EXPECT_EQ(*refused, ResetOutcome::stylesOpen);
    EXPECT_EQ(f.saved(), before);

    const auto reset = resetLibrary(*f.store, {});
    ASSERT_TRUE(reset);
    EXPECT_EQ(*reset, ResetOutcome::reset);
    const styleDatabase after = f.saved();
    EXPECT_TRUE(after.styles.empty());
    EXPECT_EQ(after.dbVersion, 1);
    EXPECT_NE(after.randomHash, before.randomHash);
}

}  // namespace
}  // namespace orlavine
