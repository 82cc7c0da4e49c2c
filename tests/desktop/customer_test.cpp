// A customer at the lock screen and the status window of the real client, with the mouse and
// with the keyboard, against the server simulator on a private X desktop.
#include "tests/desktop/steps.h"

#include <gtest/gtest.h>

namespace tlv::test {
namespace {

// The card box has the focus on the lock screen: the number typed, Enter, the session opens.
void cardByKeyboard(Cafe& cafe) {
    const ScreenUser user = cafe.user();
    const LockScreenView v = user.waitLockScreen([](const auto& v) { return v.focused == 0; });
    ASSERT_EQ(v.focused, 0) << cafe.shot("card-box-without-focus");
    cafe.log().mark();
    user.type("123456");
    user.key("Return");
    expectSessionStarted(cafe, "2||123456|6");
}

TEST(Customer, CardClientAccountAndSelfServiceByMouse) {
    Cafe cafe;
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient()) << cafe.diagnostics();
    const ScreenUser user = cafe.user();

    // Prepaid card, after a look at self-service: the tile brings the card box back.
    LockScreenView v = user.waitLockScreen([](const auto& v) { return v.tiles.size() == 3; });
    ASSERT_EQ(v.tiles.size(), 3u) << cafe.shot("no-tiles");
    user.click(v.tiles[2]);
    v = user.waitLockScreen([](const auto& v) { return v.chosen == 2 && v.fields.empty(); });
    EXPECT_EQ(v.chosen, 2) << cafe.shot("self-service-not-chosen");
    user.click(v.tiles[0]);
    v = user.waitLockScreen([](const auto& v) { return v.chosen == 0 && v.fields.size() == 1; });
    ASSERT_EQ(v.fields.size(), 1u) << cafe.shot("card-box-missing");
    ASSERT_TRUE(typeCardAndActivate(cafe, "123456"));
    expectSessionStarted(cafe, "2||123456|6");
    endSessionFromServer(cafe, 2);

    // Client account: the tile shows login and password.
    v = user.waitLockScreen([](const auto& v) { return v.tiles.size() == 3; });
    ASSERT_EQ(v.tiles.size(), 3u);
    user.click(v.tiles[1]);
    v = user.waitLockScreen([](const auto& v) { return v.chosen == 1 && v.fields.size() == 2; });
    ASSERT_EQ(v.fields.size(), 2u) << cafe.shot("client-boxes-missing");
    user.click(v.fields[0]);
    user.type("Alice");
    user.click(v.fields[1]);
    user.type("secret");
    v = user.waitLockScreen([](const auto& v) { return v.primary.has_value(); });
    ASSERT_TRUE(v.primary) << cafe.shot("activate-disabled");
    cafe.log().mark();
    user.click(*v.primary);
    // The login goes lower-cased, the password as typed.
    expectSessionStarted(cafe, "4|secret|alice|6");
    endSessionFromServer(cafe, 2);

    // Self-service: no box, Activate at once; its end shows the session-end screen.
    v = user.waitLockScreen([](const auto& v) { return v.tiles.size() == 3; });
    ASSERT_EQ(v.tiles.size(), 3u);
    user.click(v.tiles[2]);
    v = user.waitLockScreen(
        [](const auto& v) { return v.chosen == 2 && v.fields.empty() && v.primary.has_value(); });
    ASSERT_TRUE(v.primary) << cafe.shot("activate-disabled");
    cafe.log().mark();
    user.click(*v.primary);
    expectSessionStarted(cafe, "1|||6");
    endSessionFromServer(cafe, 4);
}

TEST(Customer, CardClientAccountAndSelfServiceByKeyboard) {
    Cafe cafe;
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient()) << cafe.diagnostics();
    const ScreenUser user = cafe.user();
    ASSERT_NO_FATAL_FAILURE(cardByKeyboard(cafe));
    endSessionFromServer(cafe, 2);

    // Back to the tiles, to the first, one on, Space: the client account's login box takes the
    // focus.
    LockScreenView v = user.waitLockScreen([](const auto& v) { return v.focused == 0; });
    ASSERT_EQ(v.focused, 0);
    user.key("shift+Tab Left Left Right space");
    v = user.waitLockScreen([](const auto& v) { return v.chosen == 1 && v.focused == 0; });
    ASSERT_EQ(v.chosen, 1) << cafe.shot("client-not-chosen");
    ASSERT_EQ(v.focused, 0) << cafe.shot("login-without-focus");
    cafe.log().mark();
    user.type("alice");
    user.key("Tab");
    user.type("secret");
    user.key("Return");
    expectSessionStarted(cafe, "4|secret|alice|6");
    endSessionFromServer(cafe, 2);

    // Self-service: two tiles on, Space, then Enter.
    v = user.waitLockScreen([](const auto& v) { return v.focused == 0; });
    ASSERT_EQ(v.focused, 0);
    user.key("shift+Tab Left Left Right Right space");
    v = user.waitLockScreen([](const auto& v) { return v.chosen == 2 && v.primary.has_value(); });
    ASSERT_EQ(v.chosen, 2) << cafe.shot("self-service-not-chosen");
    cafe.log().mark();
    user.key("Return");
    expectSessionStarted(cafe, "1|||6");
    endSessionFromServer(cafe, 4);
}

TEST(Customer, TypesTheCardNumberWhileTheStartUpAboutBoxShows) {
    Cafe cafe;
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient(false)) << cafe.diagnostics();
    ASSERT_TRUE(cafe.log().waitState(2, 40000)) << cafe.diagnostics();
    ASSERT_TRUE(waitUntil([&] { return cafe.lockScreen() != 0; }, 20000)) << cafe.diagnostics();
    // The box stays 12 seconds over the lock screen; it must not take the customer's keys.
    ASSERT_NE(cafe.waitWindow("^About ", 5000), 0u) << cafe.shot("no-about-box");
    ASSERT_NO_FATAL_FAILURE(cardByKeyboard(cafe));
}

TEST(Customer, PausesResumesChatsAndQuitsFromTheStatusWindow) {
    Cafe cafe;
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient()) << cafe.diagnostics();
    const ScreenUser user = cafe.user();
    ASSERT_TRUE(startCardSession(cafe, "123456"));

    // Pause, confirmed: the server sees the pause and the lock screen offers to resume.
    StatusView s = waitStatus(cafe);
    ASSERT_TRUE(s.pause) << cafe.shot("no-pause-button");
    cafe.log().mark();
    user.click(*s.pause);
    answerYes(cafe);
    ASSERT_TRUE(cafe.log().waitState(9)) << cafe.diagnostics();
    LockScreenView v = user.waitLockScreen([](const auto& v) {
        return v.primary.has_value() && v.buttons.size() == 1 && v.tiles.empty();
    });
    ASSERT_TRUE(v.primary) << cafe.shot("paused-without-resume");
    cafe.log().mark();
    user.click(*v.primary);
    ASSERT_TRUE(cafe.log().waitState(6)) << cafe.diagnostics();
    EXPECT_TRUE(waitUntil([&] { return cafe.lockScreen() == 0; }, 10000));

    // Chat: the customer writes, the server receives the line.
    s = waitStatus(cafe);
    ASSERT_TRUE(s.chatOpen) << cafe.shot("no-chat-button");
    user.click(*s.chatOpen);
    s = waitStatus(cafe, [](const StatusView& s) { return s.chatInput && s.chatSend; });
    ASSERT_TRUE(s.chatInput) << cafe.shot("chat-not-open") << " window at " << s.w.window.x << ","
                             << s.w.window.y << " " << s.w.window.width << "x" << s.w.window.height;
    // Grown by the chat, the window is still all on the screen.
    EXPECT_TRUE(contains(cafe.screen(), s.w.window)) << cafe.shot("chat-off-screen");
    user.click(*s.chatInput);
    cafe.log().mark();
    user.type("Coffee please");
    user.click(*s.chatSend);
    const auto chat = cafe.log().waitReceived("ChatMessage");
    ASSERT_TRUE(chat) << cafe.diagnostics();
    EXPECT_EQ(chat->payload(), "Coffee please");

    // Quit, confirmed: the session ends and the lock screen is back.
    s = waitStatus(cafe);
    ASSERT_TRUE(s.quit);
    cafe.log().mark();
    user.click(*s.quit);
    answerYes(cafe);
    ASSERT_TRUE(cafe.log().waitState(2)) << cafe.diagnostics();
    EXPECT_TRUE(waitUntil([&] { return cafe.lockScreen() != 0; }, 10000)) << cafe.shot("no-lock");
    EXPECT_TRUE(cafe.waitNoWindow(kStatusTitle));
}

TEST(Customer, ChangesTheAccountPassword) {
    Cafe cafe;
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient()) << cafe.diagnostics();
    const ScreenUser user = cafe.user();
    LockScreenView v = user.waitLockScreen([](const auto& v) { return v.tiles.size() == 3; });
    ASSERT_EQ(v.tiles.size(), 3u);
    user.click(v.tiles[1]);
    v = user.waitLockScreen([](const auto& v) { return v.fields.size() == 2; });
    ASSERT_EQ(v.fields.size(), 2u);
    cafe.log().mark();
    user.click(v.fields[0]);
    user.type("alice");
    user.key("Tab");
    user.type("secret");
    user.key("Return");
    expectSessionStarted(cafe, "4|secret|alice|6");

    StatusView s = waitStatus(cafe, [](const StatusView& s) { return s.password.has_value(); });
    ASSERT_TRUE(s.password) << cafe.shot("no-password-button");
    user.click(*s.password);
    const unsigned long dialog = cafe.waitWindow(kPasswordChangeTitle);
    ASSERT_NE(dialog, 0u) << cafe.shot("no-dialog");
    // Above the status window it was opened from, where the customer can see it.
    EXPECT_TRUE(waitUntil([&] { return cafe.desktop().topmost() == dialog; }, 5000))
        << cafe.shot("dialog-covered");
    EXPECT_TRUE(contains(cafe.screen(), cafe.desktop().geometry(dialog)))
        << cafe.shot("dialog-off-screen");
    cafe.log().mark();
    // Old password, the new one twice, Enter.
    user.type("secret");
    user.key("Tab");
    user.type("n3w-Secret");
    user.key("Tab");
    user.type("n3w-Secret");
    user.key("Return");
    const auto change = cafe.log().waitReceived("PasswordChange");
    ASSERT_TRUE(change) << cafe.diagnostics();
    EXPECT_EQ(change->payload(), "n3w-Secret");
    EXPECT_TRUE(cafe.waitNoWindow(kPasswordChangeTitle)) << cafe.shot("dialog-still-open");
}

} // namespace
} // namespace tlv::test
