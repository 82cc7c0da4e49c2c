#include "tests/ui2/ui2_rig.h"
#include "ui/language_flags.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>

#include <gtest/gtest.h>

namespace tlv {
namespace {

TEST(Flags, EveryShippedLanguageHasItsOwnFlagAndOthersANeutralOne) {
    test::ensureApp();
    const QImage neutral = languageFlag("tlvcli_xx", 20).toImage();
    ASSERT_EQ(neutral.size(), QSize(30, 20));
    for (const char* name : {"tlvcli_en", "tlvcli_fr", "tlvcli_de", "tlvcli_es", "tlvcli_it",
                             "tlvcli_nl", "tlvcli_hu", "tlvcli_el", "tlvcli_br"}) {
        const QImage flag = languageFlag(name, 20).toImage();
        EXPECT_EQ(flag.size(), QSize(30, 20)) << name;
        EXPECT_NE(flag.convertToFormat(neutral.format()), neutral) << name;
    }
    // France and Italy share the layout but not the colours.
    EXPECT_NE(languageFlag("tlvcli_fr", 20).toImage(), languageFlag("tlvcli_it", 20).toImage());
}

TEST(Flags, TheLanguageListShowsAFlagPerItemAndTheChosenOneInImgFlags) {
    test::ensureApp();
    const std::vector<LangEntry> table = {
        {"tlvcli_en", "English", "", "0", "English", true},
        {"tlvcli_el", "?", "", "160", "Greek", false},
        {"tlvcli_de", "Deutsch", "", "0", "German", true},
    };
    QComboBox list;
    QLabel imgFlags;
    list.addItem("English", 0);
    list.addItem("German", 2);
    list.setCurrentIndex(1);
    showLanguageFlags(list, imgFlags, table);
    EXPECT_FALSE(list.itemIcon(0).isNull());
    EXPECT_FALSE(list.itemIcon(1).isNull());
    ASSERT_FALSE(imgFlags.pixmap().isNull());
    const QImage shown = imgFlags.pixmap().toImage();
    const QImage german = languageFlag("tlvcli_de", list.iconSize().height()).toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() / 2, 1), german.pixelColor(german.width() / 2, 1));
}

} // namespace
} // namespace tlv
