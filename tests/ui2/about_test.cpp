#include "core/log.h"
#include "platform/fake/virtual_time.h"
#include "platform/web_browser.h"
#include "tests/support/temp_root.h"
#include "tests/ui2/ui2_rig.h"
#include "ui/frmAbout.h"
#include "ui_frmAbout.h"

#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <regex>

namespace tlv {
namespace {

struct FakeWeb : WebBrowser {
    std::vector<std::string> opened;
    bool open(const std::string& a) override {
        opened.push_back(a);
        return true;
    }
};

LangEntry english() {
    return {"tlvcli_en", "English", builtinString(10045), "0", "English", true};
}

struct About : ::testing::Test {
    static void SetUpTestSuite() { test::ensureApp(); }
    test::TempRoot root;
    VirtualClock clock;
    VirtualScheduler sched{clock};
    Logger log{clock, root.file("tlvcli.log")};
    FakeWeb web;
    std::vector<LangEntry> table{english()};
    std::map<FormId, bool> loaded;
    std::unique_ptr<frmAbout> make(bool debug = false) {
        frmAbout::Deps deps;
        deps.funFindLangPacks = [this] { return table; };
        deps.setFormLoaded = [this](FormId f, bool l) { loaded[f] = l; };
        deps.web = &web;
        return std::make_unique<frmAbout>(sched, test::englishText(), log, deps,
                                          buildAboutInfo(debug));
    }
};

TEST_F(About, WithoutPacksTheTranslationsSectionHoldsOnlyItsHeading) {
    auto box = make();
    const auto& lines = box->acknowledgements();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "For their support && advice:");
    // A label shows "&&" as it is: the box shows one ampersand.
    EXPECT_TRUE(box->ui().lblAckn->text().startsWith("For their support & advice:"));
    EXPECT_EQ(lines.back(), "For their translations:");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string()), 2);
    EXPECT_EQ(box->ui().lblAckn->height(), frmAbout::kLineHeightPx * int(lines.size()));
    EXPECT_TRUE(loaded[FormId::frmAbout]);
}

TEST_F(About, EveryPackGetsALineEvenWithAnEmptyCredit) {
    table.push_back({"tlvcli_fr", "Français", "Talvor Client team", "0", "French", true});
    table.push_back({"tlvcli_el", "Ελληνικά", "", "160", "Greek", true});
    auto box = make();
    const auto& lines = box->acknowledgements();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "For their translations:");
    EXPECT_EQ(lines[lines.size() - 2], "French - Talvor Client team");
    EXPECT_EQ(lines.back(), "Greek - ");
}

TEST_F(About, VersionReleaseAndBuildMonth) {
    auto plain = make(false);
    EXPECT_EQ(plain->ui().lblVersion->text(), "1.9.300");
    EXPECT_EQ(plain->ui().lblRelease->text(), "300");
    EXPECT_TRUE(std::regex_match(plain->ui().lblMonthYear->text().toStdString(),
                                 std::regex("(1[0-2]|[1-9])/20[0-9][0-9]")));
    EXPECT_EQ(make(true)->ui().lblVersion->text(), "1.9.300 Debug");
    EXPECT_EQ(plain->ui().lblGpl->text().toStdString().find("\r"), std::string::npos);
}

TEST_F(About, AcknowledgementsPauseOneSecondThenScrollEndlessly) {
    auto box = make();
    QLabel* ackn = box->ui().lblAckn;
    const int frameHeight = box->ui().fraAckn->height();
    sched.advance(1000);
    EXPECT_EQ(ackn->y(), 0);
    sched.advance(100);
    EXPECT_EQ(ackn->y(), -1);
    // Up to the point where the label has left the frame completely, then from the bottom.
    sched.advance(100 * int64_t(ackn->height() - 1));
    EXPECT_EQ(ackn->y(), -ackn->height());
    sched.advance(100);
    EXPECT_EQ(ackn->y(), frameHeight);
    sched.advance(100);
    EXPECT_EQ(ackn->y(), frameHeight - 1);
}

TEST_F(About, SplashUnloadsAfterTwelveSecondsTheMenuBoxStays) {
    auto menuBox = make();
    menuBox->show();
    auto splash = make();
    splash->showAsSplash();
    sched.advance(11900);
    EXPECT_FALSE(splash->unloaded());
    sched.advance(100);
    EXPECT_TRUE(splash->unloaded());
    EXPECT_FALSE(menuBox->unloaded());
}

TEST_F(About, AnyClickClosesTheWebAddressOpensTheBrowserInstead) {
    auto box = make();
    box->show();
    QTest::mouseClick(box->ui().lblWebSite, Qt::LeftButton);
    EXPECT_EQ(web.opened, (std::vector<std::string>{frmAbout::kWebAddress}));
    EXPECT_FALSE(box->unloaded());
    QTest::mouseClick(box->ui().lblGpl, Qt::LeftButton);
    EXPECT_TRUE(box->unloaded());
    EXPECT_FALSE(loaded[FormId::frmAbout]);

    auto other = make();
    other->show();
    QTest::mouseClick(other->ui().fraAckn, Qt::LeftButton);
    EXPECT_TRUE(other->unloaded());
}

} // namespace
} // namespace tlv
