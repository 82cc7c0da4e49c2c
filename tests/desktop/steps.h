#pragma once

// Steps that several journeys share: a session started and ended, the status window's buttons,
// the Yes of a question.
#include "tests/support/cafe.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>

namespace tlv::test {

inline const char* const kStatusTitle = "^Session status$";
inline const char* const kAlertTitle = "^Alert$";
inline const char* const kPasswordChangeTitle = "Change  password$";

// The full status window: its buttons found by their place around the close-session button
// (Pause beside it; below them the password button and Hide; the chat's button under all).
struct StatusView {
    WindowView w;
    std::optional<Rect> pause, quit, password, close, chatOpen, chatInput, chatSend;
};

inline StatusView statusView(const WindowView& w) {
    StatusView s;
    s.w = w;
    if (!w.shown || w.danger.empty())
        return s;
    s.quit = w.danger.front();
    const Rect q = *s.quit;
    const auto overlapsColumn = [&](const Rect& b) {
        return b.x < q.x + q.width && b.x + b.width > q.x;
    };
    for (const Rect& b : w.allButtons) {
        if (std::abs(b.y - q.y) <= 3 && b.x + b.width <= q.x)
            s.pause = b;
        else if (b.y > q.y + q.height && overlapsColumn(b) && !s.close && b.width >= q.width / 2)
            s.close = b;
    }
    if (s.close)
        for (const Rect& b : w.allButtons)
            if (std::abs(b.y - s.close->y) <= 3 && b.x + b.width <= s.close->x)
                s.password = b;
    const int below = s.close ? s.close->y + s.close->height : q.y + q.height;
    if (!w.fields.empty() && !w.primary.empty()) {
        s.chatInput = w.fields.back();
        s.chatSend = w.primary.back();
    } else {
        for (const Rect& b : w.allButtons)
            if (b.y > below)
                s.chatOpen = b;
    }
    return s;
}

inline StatusView waitStatus(
    const Cafe& cafe,
    const std::function<bool(const StatusView&)>& ready =
        [](const StatusView& s) { return s.quit.has_value(); },
    const std::string& title = kStatusTitle) {
    StatusView s;
    cafe.user().waitWindow(title, [&](const WindowView& w) {
        s = statusView(w);
        return ready(s);
    });
    return s;
}

// The session the customer asked for reached the server, which opened it: the lock screen
// gives way to the status window, inside the screen.
inline void expectSessionStarted(Cafe& cafe, const std::string& request,
                                 const std::string& statusTitle = kStatusTitle) {
    const auto open = cafe.log().waitReceived("SessionOpen");
    ASSERT_TRUE(open) << cafe.shot("no-request") << "\n" << cafe.diagnostics();
    EXPECT_EQ(open->payload(), request);
    ASSERT_TRUE(cafe.log().waitState(6)) << cafe.diagnostics();
    EXPECT_TRUE(waitUntil([&] { return cafe.lockScreen() == 0; }, 10000))
        << cafe.shot("lock-screen-stays");
    const StatusView s = waitStatus(
        cafe, [](const StatusView& s) { return s.quit.has_value(); }, statusTitle);
    ASSERT_TRUE(s.w.shown) << cafe.shot("no-status-window");
    EXPECT_TRUE(contains(cafe.screen(), s.w.window))
        << s.w.window.x << "," << s.w.window.y << " " << s.w.window.width << "x"
        << s.w.window.height << " " << cafe.shot("status-off-screen");
    cafe.shot("session");
}

// The server closes the session; the workstation reports STATEAFTER (2 for a card or an
// account, 4 after self-service) and covers the screen again. After self-service the server
// activates it back to the login screen.
inline void endSessionFromServer(Cafe& cafe, int stateAfter) {
    cafe.log().mark();
    cafe.server("close all");
    ASSERT_TRUE(cafe.log().waitState(stateAfter)) << cafe.diagnostics();
    ASSERT_TRUE(waitUntil([&] { return cafe.lockScreen() != 0; }, 10000))
        << cafe.shot("no-lock-screen");
    if (stateAfter != 2) {
        cafe.shot("state-" + std::to_string(stateAfter));
        cafe.server("activate all");
        ASSERT_TRUE(cafe.log().waitState(2)) << cafe.diagnostics();
    }
    // The next customer can type at once: a box of the login panel has the focus.
    EXPECT_GE(cafe.user().waitLockScreen([](const auto& v) { return v.focused >= 0; }).focused, 0)
        << cafe.shot("login-not-ready");
}

// Card NUMBER into the card box (clicked first), then a click on Activate; false, with a
// screenshot, when the box or an enabled Activate does not come.
inline bool typeCardAndActivate(Cafe& cafe, const std::string& number) {
    const ScreenUser user = cafe.user();
    LockScreenView v = user.waitLockScreen([](const auto& v) { return v.fields.size() == 1; });
    if (v.fields.size() != 1) {
        cafe.shot("no-card-box");
        return false;
    }
    user.click(v.fields[0]);
    user.type(number);
    v = user.waitLockScreen([](const auto& v) { return v.primary.has_value(); });
    if (!v.primary) {
        cafe.shot("activate-disabled");
        return false;
    }
    cafe.log().mark();
    user.click(*v.primary);
    return true;
}

// As typeCardAndActivate: true once the session runs and its status window (titled
// STATUSTITLE) is up.
inline bool startCardSession(Cafe& cafe, const std::string& number,
                             const std::string& statusTitle = kStatusTitle) {
    return typeCardAndActivate(cafe, number) && cafe.log().waitState(6).has_value() &&
           waitStatus(
               cafe, [](const StatusView& s) { return s.quit.has_value(); }, statusTitle)
               .quit.has_value();
}

// Clicks Yes in the client's question box (titled TITLE).
inline void answerYes(const Cafe& cafe, const std::string& title = kAlertTitle) {
    const ScreenUser user = cafe.user();
    const WindowView box =
        user.waitWindow(title, [](const WindowView& w) { return w.allButtons.size() >= 2; });
    ASSERT_GE(box.allButtons.size(), 2u) << cafe.shot("no-question");
    cafe.shot("question");
    // Yes is the right one of the two.
    user.click(box.allButtons.back());
}

} // namespace tlv::test
