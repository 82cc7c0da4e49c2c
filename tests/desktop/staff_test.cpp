// The staff at the real client: the deactivation gesture with and without the administrator
// password, the main window's menus (about box, options, log-off) and the setup wizard of a new
// workstation.
#include "tests/desktop/steps.h"

#include <gtest/gtest.h>

namespace tlv::test {
namespace {

const char* const kMainTitle = "^Talvor Client$";

// The main window (the client's window with its name that does not cover the screen).
WindowView mainWindow(const Cafe& cafe) {
    return cafe.user().waitWindow(
        kMainTitle, [&](const WindowView& w) { return w.window.width < cafe.screen().width; });
}

// Opens the INDEXth menu of the main window's menu bar with the mouse (a click on its first
// menu, then Right), goes down STEPS items with the keyboard and presses Enter.
void menu(const Cafe& cafe, int index, int steps) {
    const WindowView w = mainWindow(cafe);
    ASSERT_TRUE(w.shown) << cafe.shot("no-main-window");
    const ScreenUser user = cafe.user();
    // The menu drops below the bar: wait for it before the keys.
    const Rect below{w.window.x, w.window.y + 20, 200, 60};
    ASSERT_TRUE(user.clickAndSee({w.window.x + 8, w.window.y + 4, 16, 12}, below))
        << cafe.shot("no-menu");
    std::string keys;
    for (int i = 0; i < index; ++i)
        keys += "Right ";
    for (int i = 0; i < steps; ++i)
        keys += "Down ";
    user.key(keys + "Return");
}

void expectDeactivated(Cafe& cafe) {
    ASSERT_TRUE(cafe.log().waitState(1)) << cafe.diagnostics();
    EXPECT_TRUE(waitUntil([&] { return cafe.lockScreen() == 0; }, 10000))
        << cafe.shot("lock-screen-stays");
    const WindowView w = mainWindow(cafe);
    ASSERT_TRUE(w.shown) << cafe.shot("no-main-window");
    EXPECT_TRUE(contains(cafe.screen(), w.window)) << cafe.shot("main-off-screen");
    cafe.shot("deactivated");
}

// A dialog of the client: shown, inside the screen, above every other window.
WindowView expectDialog(const Cafe& cafe, const std::string& title) {
    const WindowView d = cafe.user().waitWindow(title, [](const WindowView&) { return true; });
    EXPECT_TRUE(d.shown) << title << " " << cafe.shot("no-dialog");
    if (!d.shown)
        return d;
    EXPECT_TRUE(contains(cafe.screen(), d.window))
        << title << " at " << d.window.x << "," << d.window.y << " " << cafe.shot("off-screen");
    EXPECT_TRUE(waitUntil([&] { return cafe.desktop().topmost() == d.id; }, 5000))
        << title << " is not on top " << cafe.shot("covered");
    cafe.shot("dialog");
    return d;
}

TEST(Staff, GestureMainWindowAboutOptionsAndLogOff) {
    Cafe cafe;
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient()) << cafe.diagnostics();
    const ScreenUser user = cafe.user();

    // Without a password the keys deactivate at once.
    ASSERT_TRUE(user.waitLockScreen([](const auto& v) { return v.tiles.size() == 3; }).shown);
    cafe.log().mark();
    user.key("ctrl+alt+Return");
    expectDeactivated(cafe);

    // The about box, from the help menu; Escape closes it.
    menu(cafe, 2, 0);
    expectDialog(cafe, "^About Talvor Client$");
    user.key("Escape");
    EXPECT_TRUE(cafe.waitNoWindow("^About ")) << cafe.shot("about-stays");

    // Options: the workstation's name, saved.
    menu(cafe, 1, 0);
    const WindowView options = expectDialog(cafe, "Options$");
    ASSERT_GE(options.fields.size(), 3u) << cafe.shot("options-fields");
    user.click(options.fields[2]);
    user.key("ctrl+a");
    user.type("PC07");
    ASSERT_GE(options.allButtons.size(), 2u);
    user.click(options.allButtons[options.allButtons.size() - 2]); // Save, beside Cancel
    EXPECT_TRUE(cafe.waitNoWindow("Options$")) << cafe.shot("options-stay");
    const std::string stored = cafe.query("HKLM\\Software\\Talvor Client\\General");
    EXPECT_NE(stored.find("PC07"), std::string::npos) << stored;

    // The main window's Activate: back to the lock screen, which now names the workstation.
    const WindowView main = mainWindow(cafe);
    ASSERT_FALSE(main.primary.empty()) << cafe.shot("no-activate");
    cafe.log().mark();
    user.click(main.primary.front());
    ASSERT_TRUE(cafe.log().waitState(2)) << cafe.diagnostics();

    // The gesture on the logo: Ctrl+Alt and a click.
    const LockScreenView v = user.waitLockScreen([](const auto& v) { return v.logo.has_value(); });
    ASSERT_TRUE(v.logo) << cafe.shot("no-logo");
    cafe.log().mark();
    user.ctrlAltClick(*v.logo);
    expectDeactivated(cafe);

    // Log off from the file menu: the empty administrator password, Enter. The client ends
    // itself and asks the system to log off (sandbox: one line in the actions log).
    menu(cafe, 0, 2);
    expectDialog(cafe, "Shutdown$");
    user.key("Return");
    EXPECT_EQ(cafe.waitClientExit(60), 0) << cafe.diagnostics();
    EXPECT_NE(cafe.actions().find("\texitwindows\t4\n"), std::string::npos) << cafe.actions();
}

TEST(Staff, DeactivationBehindTheAdministratorPassword) {
    Cafe cafe;
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient()) << cafe.diagnostics();
    const ScreenUser user = cafe.user();
    // The café's server hands the workstation its administrator password.
    cafe.server("raw all PasswordAdmin s3cret");
    ASSERT_TRUE(cafe.log().waitFor([](const SimEvent& e) { return e.kind == "sent"; }));

    ASSERT_TRUE(user.waitLockScreen([](const auto& v) { return v.tiles.size() == 3; }).shown);
    cafe.log().mark();
    user.key("ctrl+alt+Return");
    expectDialog(cafe, "Deactivation$");
    // A wrong password keeps the workstation locked and the dialog open.
    user.type("wrong");
    user.key("Return");
    expectDialog(cafe, "Deactivation$");
    EXPECT_NE(cafe.lockScreen(), 0u);
    user.type("s3cret");
    user.key("Return");
    expectDeactivated(cafe);
    EXPECT_TRUE(cafe.waitNoWindow("Deactivation$"));
}

TEST(Staff, SetupWizardOnTheFirstStart) {
    CafeOptions o;
    o.configured = false;
    Cafe cafe(o);
    ASSERT_TRUE(cafe.ready());
    ASSERT_TRUE(cafe.startClient(false));
    const ScreenUser user = cafe.user();
    // The start-up's about box shows over the wizard for a while.
    ASSERT_NE(cafe.waitWindow("^Configuration wizard$", 30000), 0u) << cafe.diagnostics();
    ASSERT_TRUE(cafe.waitNoWindow("^About ", 30000));
    // Next is the enabled button before Cancel on every page but the last, where it is Finish.
    const auto next = [&] {
        const WindowView w = expectDialog(cafe, "^Configuration wizard$");
        ASSERT_GE(w.allButtons.size(), 2u) << cafe.shot("wizard-buttons");
        // The page changes.
        ASSERT_TRUE(user.clickAndSee(w.allButtons[w.allButtons.size() - 2], w.window))
            << cafe.shot("page-stays");
    };
    next(); // welcome
    next(); // server: found automatically
    WindowView w = expectDialog(cafe, "^Configuration wizard$");
    ASSERT_FALSE(w.fields.empty()) << cafe.shot("no-name-box");
    user.click(w.fields.front());
    user.key("ctrl+a");
    user.type("PC07");
    next(); // name
    next(); // start-up
    next(); // lockdown
    cafe.log().mark();
    next(); // Finish, activating now
    const auto name = cafe.log().waitReceived("WorkstationName", 30000);
    ASSERT_TRUE(name) << cafe.diagnostics();
    EXPECT_EQ(name->payload(), "PC07");
    ASSERT_TRUE(cafe.log().waitState(2)) << cafe.diagnostics();
    EXPECT_TRUE(waitUntil([&] { return cafe.lockScreen() != 0; }, 10000)) << cafe.shot("no-lock");
}

} // namespace
} // namespace tlv::test
