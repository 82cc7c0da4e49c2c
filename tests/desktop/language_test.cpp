// Languages and screen sizes: the customer switches the language on every lock-screen state,
// and each language pack carries a session from the lock screen to its status window; the
// lock screen's paths at the small and the large screen.
#include "tests/desktop/steps.h"

#include <gtest/gtest.h>

namespace tlv::test {
namespace {

// What a customer types into the open list to reach the language CODE: the ASCII start of its
// own name (the popup searches as one types; typing letters the keyboard layout lacks would make
// xdotool remap keys behind the client's back), or End for a name without one (Greek sorts last).
std::string searchKeys(const std::string& code) {
    const std::string name = packNativeName(code);
    size_t n = 0;
    while (n < name.size() && static_cast<unsigned char>(name[n]) < 0x80 && name[n] != ' ')
        ++n;
    return name.substr(0, n);
}

// Waits until R shows the same pixels twice in a row (a relayout or a closing popup is over).
bool settled(const ScreenUser& user, const Rect& r) {
    Image last = user.grab(r);
    return waitUntil(
        [&] {
            Image now = user.grab(r);
            const bool same = countDifferent(last, now) == 0;
            last = std::move(now);
            return same;
        },
        5000, 250);
}

// Switches the lock screen's language list to the pack CODE (mouse on the list, the language's
// name typed into its popup, Enter); true when the panel changed on screen.
bool chooseLanguage(Cafe& cafe, const std::string& code) {
    const ScreenUser user = cafe.user();
    const LockScreenView v =
        user.waitLockScreen([](const auto& v) { return v.language.has_value(); });
    if (!v.language) {
        cafe.shot("no-language-list");
        return false;
    }
    if (packNativeName(code).empty())
        return false;
    settled(user, v.window);
    const Image before = user.grab(v.window);
    user.click(*v.language);
    // The popup opens over the panel.
    if (!waitUntil([&] { return countDifferent(before, user.grab(v.window)) > 100; }, 5000)) {
        cafe.shot("no-language-popup");
        return false;
    }
    settled(user, v.window);
    const std::string keys = searchKeys(code);
    if (keys.empty())
        user.key("End");
    else
        user.type(keys);
    user.key("Return");
    const bool changed =
        waitUntil([&] { return countDifferent(before, user.grab(v.window)) > 500; }, 5000);
    settled(user, v.window);
    cafe.shot("language-" + code);
    return changed;
}

struct Language {
    const char* code;
    const char* westernName;
};
const Language kLanguages[] = {
    {"de", "German"},  {"el", "Greek"}, {"fr", "French"},    {"es", "Spanish"},
    {"it", "Italian"}, {"nl", "Dutch"}, {"hu", "Hungarian"}, {"br", "Brazilian Portuguese"}};

std::string titleIn(const std::string& code, int id) {
    return "^" + packText(code, id) + "$";
}

TEST(Languages, EveryPackCarriesASessionFromTheLockScreen) {
    Cafe cafe;
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient()) << cafe.diagnostics();
    for (const Language& l : kLanguages) {
        SCOPED_TRACE(l.westernName);
        ASSERT_TRUE(chooseLanguage(cafe, l.code)) << cafe.shot("not-switched");
        // The status window speaks the chosen language.
        ASSERT_TRUE(typeCardAndActivate(cafe, "123456"));
        expectSessionStarted(cafe, "2||123456|6", titleIn(l.code, 10112));
        // Back on the login screen the café's language returns.
        endSessionFromServer(cafe, 2);
    }
}

// Blocked states the server puts the workstation in, and back; the customer switches to LANGUAGE
// while blocked.
struct Blocked {
    const char* name;
    int state;
    const char* enter; // server command
    const char* leave;
    int stateAfter;
    // A session runs underneath: the status window shows the language chosen while blocked.
    bool session;
    const char* language;
};

TEST(Languages, SwitchOnEveryLockScreenState) {
    CafeOptions o;
    // 3 seconds of credit: the card runs out while the test watches.
    o.accounts = std::string(kDemoAccounts) + "card 222222 0.05\n";
    Cafe cafe(o);
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient()) << cafe.diagnostics();
    const ScreenUser user = cafe.user();

    // State 2, the login screen: the session is opened in the language chosen there.
    ASSERT_TRUE(chooseLanguage(cafe, "el"));
    ASSERT_TRUE(startCardSession(cafe, "123456", titleIn("el", 10112))) << cafe.diagnostics();

    // Each state switches to a language not yet shown, so that every switch shows on screen.
    const Blocked kStates[] = {
        {"blocked", 3, "lock all", "activate all", 2, false, "de"},
        {"paused", 9, "pause all", "unpause all", 6, true, "it"},
        {"paused-locked", 10, "pause-lock all", "unpause all", 6, true, "nl"},
        {"following", 11, "pause-follow all", "unpause all", 6, true, "es"},
    };
    for (const Blocked& b : kStates) {
        SCOPED_TRACE(b.name);
        // Back on the login screen (after the blocked state) the café's language is shown.
        if (b.session && cafe.lockScreen() != 0) {
            ASSERT_TRUE(startCardSession(cafe, "123456")) << cafe.diagnostics();
        }
        cafe.log().mark();
        cafe.server(b.enter);
        ASSERT_TRUE(cafe.log().waitState(b.state)) << cafe.diagnostics();
        ASSERT_TRUE(waitUntil([&] { return cafe.lockScreen() != 0; }, 10000));
        EXPECT_TRUE(chooseLanguage(cafe, b.language)) << cafe.shot("not-switched");
        cafe.log().mark();
        cafe.server(b.leave);
        ASSERT_TRUE(cafe.log().waitState(b.stateAfter)) << cafe.diagnostics();
        if (b.session) {
            EXPECT_TRUE(waitStatus(
                            cafe, [](const StatusView& s) { return s.quit.has_value(); },
                            titleIn(b.language, 10112))
                            .w.shown)
                << cafe.shot("status-not-switched");
        }
    }
    endSessionFromServer(cafe, 2);

    // State 4 after a self-service session.
    LockScreenView v = user.waitLockScreen([](const auto& v) { return v.tiles.size() == 3; });
    ASSERT_EQ(v.tiles.size(), 3u);
    user.click(v.tiles[2]);
    v = user.waitLockScreen([](const auto& v) { return v.chosen == 2 && v.primary.has_value(); });
    ASSERT_TRUE(v.primary);
    cafe.log().mark();
    user.click(*v.primary);
    expectSessionStarted(cafe, "1|||6");
    cafe.log().mark();
    cafe.server("close all");
    ASSERT_TRUE(cafe.log().waitState(4)) << cafe.diagnostics();
    ASSERT_TRUE(waitUntil([&] { return cafe.lockScreen() != 0; }, 10000));
    EXPECT_TRUE(chooseLanguage(cafe, "fr")) << cafe.shot("not-switched");
    cafe.log().mark();
    cafe.server("activate all");
    ASSERT_TRUE(cafe.log().waitState(2)) << cafe.diagnostics();

    // State 8: the card runs out; the customer switches, then closes the session.
    ASSERT_TRUE(startCardSession(cafe, "222222")) << cafe.diagnostics();
    ASSERT_TRUE(cafe.log().waitState(8, 20000)) << cafe.diagnostics();
    ASSERT_TRUE(waitUntil([&] { return cafe.lockScreen() != 0; }, 10000));
    EXPECT_TRUE(chooseLanguage(cafe, "hu")) << cafe.shot("not-switched");
    v = user.waitLockScreen([](const auto& v) { return v.buttons.size() == 1; });
    ASSERT_EQ(v.buttons.size(), 1u) << cafe.shot("no-close-button");
    cafe.log().mark();
    user.click(v.buttons[0]);
    answerYes(cafe, titleIn("hu", 10106));
    ASSERT_TRUE(cafe.log().waitState(2)) << cafe.diagnostics();
}

class LockScreenAtSize : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(LockScreenAtSize, CoversTheScreenAndCarriesACardSession) {
    CafeOptions o;
    o.width = GetParam().first;
    o.height = GetParam().second;
    Cafe cafe(o);
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient()) << cafe.diagnostics();
    const ScreenUser user = cafe.user();
    LockScreenView v = user.waitLockScreen([](const auto& v) { return v.tiles.size() == 3; });
    ASSERT_EQ(v.tiles.size(), 3u) << cafe.shot("no-tiles");
    for (const Rect& t : v.tiles)
        EXPECT_TRUE(contains(cafe.screen(), t));
    user.click(v.tiles[0]);
    v = user.waitLockScreen([](const auto& v) { return v.fields.size() == 1; });
    ASSERT_EQ(v.fields.size(), 1u);
    user.click(v.fields[0]);
    user.type("123456");
    v = user.waitLockScreen([](const auto& v) { return v.primary.has_value(); });
    ASSERT_TRUE(v.primary) << cafe.shot("activate-disabled");
    EXPECT_TRUE(contains(cafe.screen(), *v.primary));
    cafe.log().mark();
    user.click(*v.primary);
    expectSessionStarted(cafe, "2||123456|6");

    // Paused by the server: resume and close are on the screen.
    cafe.log().mark();
    cafe.server("pause all");
    ASSERT_TRUE(cafe.log().waitState(9)) << cafe.diagnostics();
    v = user.waitLockScreen(
        [](const auto& v) { return v.primary.has_value() && v.buttons.size() == 1; });
    ASSERT_TRUE(v.primary) << cafe.shot("paused-without-resume");
    EXPECT_TRUE(contains(cafe.screen(), *v.primary));
    cafe.log().mark();
    user.click(*v.primary);
    ASSERT_TRUE(cafe.log().waitState(6)) << cafe.diagnostics();
    endSessionFromServer(cafe, 2);

    cafe.log().mark();
    cafe.server("lock all");
    ASSERT_TRUE(cafe.log().waitState(3)) << cafe.diagnostics();
    EXPECT_NE(cafe.lockScreen(), 0u) << cafe.shot("blocked-not-covering");
    cafe.shot("blocked");
}

INSTANTIATE_TEST_SUITE_P(Sizes, LockScreenAtSize,
                         ::testing::Values(std::pair{1024, 600}, std::pair{1920, 1080}),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "x" +
                                    std::to_string(info.param.second);
                         });

} // namespace
} // namespace tlv::test
