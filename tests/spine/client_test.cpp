#include "core/error.h"
#include "core/string_table.h"
#include "tests/spine/client_rig.h"

#include <gtest/gtest.h>

#include <functional>

namespace tlv {
namespace {

using test::ClientRig;
using test::inOrder;

const std::vector<std::string> kLockAll = {"lockdown TaskSwitching 0", "lockdown CtrlAltDel 0",
                                           "lockdown Desktop 0", "lockdown Taskbar 0"};
const std::vector<std::string> kUnlockAll = {"lockdown TaskSwitching -1", "lockdown CtrlAltDel -1",
                                             "lockdown Desktop -1", "lockdown Taskbar -1"};

TEST(CommandLine, LowerCasedSlashesBecomeDashesPlainSubstrings) {
    struct Case {
        const char* line;
        bool d, t, k, l, m;
    } cases[] = {
        {"/M /d", true, false, false, false, true},
        {"-dm", true, false, false, false, false}, // one dash followed by d and m
        {"-T", false, true, false, false, false},
        {"c:/x-k-l", false, false, true, true, false},
        {"c:/tools", false, true, false, false, false}, // "/t" of the path counts
        {"", false, false, false, false, false},
    };
    for (const auto& c : cases) {
        const CommandLine f = CommandLine::parse(c.line);
        EXPECT_EQ(f.debug, c.d) << c.line;
        EXPECT_EQ(f.noLockdown, c.t) << c.line;
        EXPECT_EQ(f.noKill, c.k) << c.line;
        EXPECT_EQ(f.noUserLockdown, c.l) << c.line;
        EXPECT_EQ(f.multipleInstances, c.m) << c.line;
    }
}

TEST(StateIsBlocked, ExactlyTheLockScreenStates) {
    for (int s = -1; s <= 12; ++s) {
        const bool blocked = s == 2 || s == 3 || s == 4 || s == 8 || s == 9 || s == 10 || s == 11;
        EXPECT_EQ(funStateIsBlocked(s), blocked) << s;
    }
}

TEST(StartUp, TenSecondsAfterBootWaitsTwentyAndActivatesNinetySecondsAfterBoot) {
    ClientRig rig;
    rig.clock.setSinceBoot(10'000);
    rig.setWizard(1, 1);
    rig.start();
    EXPECT_FALSE(rig.fake.forms.isLoaded(FormId::frmMain)) << "still in the start wait";
    rig.scheduler.advance(19'999);
    EXPECT_FALSE(rig.fake.forms.isLoaded(FormId::frmMain));
    rig.scheduler.advance(1);
    EXPECT_TRUE(rig.fake.forms.isLoaded(FormId::frmMain));
    EXPECT_EQ(rig.c().state(), kStateActive);
    EXPECT_EQ(rig.c().tmrActivateClient().interval(), 60'000);
    EXPECT_TRUE(rig.c().tmrWksnStatus().enabled());
    rig.scheduler.advance(59'999);
    EXPECT_FALSE(rig.c().clientStarted());
    rig.scheduler.advance(1);
    EXPECT_EQ(rig.clock.sinceBootMs(), 90'000);
    EXPECT_TRUE(rig.c().clientStarted());
    EXPECT_TRUE(rig.c().tmrSrvCnxStatus().enabled());
    EXPECT_FALSE(rig.c().tmrActivateClient().enabled());
}

TEST(StartUp, AnHourAfterBootNoWaitAndActivatesAfterTheMinimumDelay) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    EXPECT_TRUE(rig.fake.forms.isLoaded(FormId::frmMain));
    rig.scheduler.advance(1'999);
    EXPECT_FALSE(rig.c().clientStarted());
    rig.scheduler.advance(1);
    EXPECT_TRUE(rig.c().clientStarted());
}

TEST(StartUp, WizardCompleteEntersTheDefaultStateLockedWithoutMuting) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    EXPECT_EQ(rig.c().state(), kStateActive);
    EXPECT_EQ(rig.fake.calls.with("lockdown"), kLockAll);
    EXPECT_TRUE(rig.fake.calls.with("mute").empty()) << "the previous state is already blocked";
    EXPECT_TRUE(
        inOrder(rig.calls(),
                {"status close buttons close", "load frmMain", "load frmStatus",
                 "load frmSmallStatus", "load frmMicroStatus", "tray add", "show frmBlock state=2",
                 "lockdown TaskSwitching 0", "hide frmMain", "fit frmMain", "splash centred"}));
    EXPECT_FALSE(rig.fake.calls.has("wizard modal"));
    EXPECT_TRUE(rig.c().tmrActiveTrayIcon().enabled());
}

TEST(StartUp, WizardNeverRunStartsDeactivatedWithTheWizardOverTheMainForm) {
    ClientRig rig;
    rig.start("-k");
    EXPECT_EQ(rig.c().state(), kStateDeactivated);
    EXPECT_TRUE(
        inOrder(rig.calls(), {"show frmMain topmost", "splash over frmMain", "wizard modal"}));
    EXPECT_FALSE(rig.fake.calls.has("funCloseAllApps"));
    EXPECT_TRUE(rig.c().flags().noKill) << "-k given: the flag stays on";

    ClientRig rig2;
    rig2.setWizard(1, 0);
    rig2.start();
    EXPECT_EQ(rig2.c().state(), kStateDeactivated);
    EXPECT_FALSE(rig2.c().flags().noKill) << "forced on only for the start-up deactivation";
}

TEST(StartUp, DebugShowsNoSplash) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start("-d");
    EXPECT_TRUE(rig.fake.calls.with("splash").empty());
}

TEST(StartUp, SecondInstanceShowsMessage20AndEnds) {
    ClientRig rig;
    rig.fake.instanceLock.otherInstanceRunning = true;
    rig.setWizard(1, 1);
    rig.start();
    EXPECT_EQ(rig.fake.forms.lastMessageText,
              "Talvor Client is already running!\r\nThis instance will be terminated.");
    EXPECT_TRUE(rig.fake.processExit.ended);
    EXPECT_NE(rig.c().state(), kStateDeactivated);
    EXPECT_TRUE(rig.fake.calls.with("lockdown").empty());
    EXPECT_FALSE(rig.c().tmrActivateClient().enabled());

    ClientRig multi;
    multi.fake.instanceLock.otherInstanceRunning = true;
    multi.setWizard(1, 1);
    multi.start("-m");
    EXPECT_FALSE(multi.fake.processExit.ended);
    EXPECT_EQ(multi.c().state(), kStateActive);
}

TEST(StartUp, WaylandIsRefusedUnlessNoLockdown) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start("", DisplayKind::Wayland);
    EXPECT_TRUE(rig.fake.processExit.ended);
    EXPECT_NE(rig.fake.processExit.exitCode, 0);
    EXPECT_EQ(rig.fake.forms.lastMessageText, std::string(builtinString(kStrWaylandRefused)) +
                                                  "\r\n" + builtinString(kStrWaylandHint));
    EXPECT_TRUE(rig.fake.calls.with("lockdown").empty());

    ClientRig t;
    t.setWizard(1, 1);
    t.start("-t", DisplayKind::Wayland);
    EXPECT_FALSE(t.fake.processExit.ended);
    EXPECT_EQ(t.c().state(), kStateActive);
    EXPECT_TRUE(t.fake.calls.with("lockdown").empty());

    ClientRig off;
    off.setWizard(1, 1);
    off.start("", DisplayKind::Offscreen);
    EXPECT_FALSE(off.fake.processExit.ended);
}

TEST(StartUp, AFailingStepIsLoggedWithItsLabelAndDeactivates) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.fake.forms.onWizard = nullptr;
    // A throwing port inside "Load forms".
    struct Throwing : FakeForms {
        using FakeForms::FakeForms;
        void load(FormId) override { throw TlvError(53, "File not found"); }
    } forms(rig.fake.calls);
    ClientPorts p = rig.ports();
    Client client(ClientPorts{p.clock, p.scheduler, p.machineHive, p.userHive, p.systemInfo,
                              p.layout, p.lockdown, p.mute, forms, p.status, p.tray, p.cleanup,
                              p.batch, p.apps, p.sessionEnd, p.instanceLock, p.processExit,
                              p.langPacks, p.autostart});
    client.Main("", DisplayKind::X11);
    EXPECT_EQ(client.state(), kStateDeactivated);
    EXPECT_NE(rig.logText().find(" - modFunctions.MainError(Load forms): #53 | File not found"),
              std::string::npos)
        << rig.logText();
}

TEST(Shutdown, RunsInOrderAndEndsTheProcess) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.fake.forms.m_loaded.insert(FormId::frmMsgBox);
    bool socketsClosed = false;
    rig.c().hooks().closeSockets = [&] { socketsClosed = true; };
    rig.calls().clear();
    EXPECT_TRUE(rig.c().funShutdownApplication(true));
    EXPECT_TRUE(
        inOrder(rig.calls(), {"unload frmMsgBox", "unload frmSmallStatus", "unload frmMicroStatus",
                              "unload frmStatus", "unload frmBlock", "unload frmMain",
                              "tray remove", "end process 0"}));
    EXPECT_TRUE(socketsClosed);
    EXPECT_TRUE(rig.c().shuttingDown());
    EXPECT_GE(rig.machine.flushCount, 1);
    for (Timer* t : {&rig.c().tmrActivateClient(), &rig.c().tmrWksnStatus(),
                     &rig.c().tmrSrvCnxStatus(), &rig.c().tmrActiveTrayIcon()})
        EXPECT_FALSE(t->enabled());
    rig.scheduler.advance(120'000);
    EXPECT_FALSE(rig.c().clientStarted()) << "no timer fires after the shutdown";
}

TEST(Shutdown, QuestionAnsweredNoDoesNothingYesWaitsThenExitsWindowsForced) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.fake.forms.nextAnswer = MsgAnswer::No;
    rig.c().subShutdown(kEwxShutdown, "shut down the computer");
    EXPECT_FALSE(rig.c().shuttingDown());
    EXPECT_EQ(rig.fake.forms.lastMessageText,
              "Do you want to close all running applications and shut down the computer?\r\n\r\n"
              "CAUTION! all unsaved work will be lost!");
    EXPECT_TRUE(rig.fake.forms.lastMessageStyle.secondButtonDefault);

    rig.fake.forms.nextAnswer = MsgAnswer::Yes;
    rig.c().subShutdown(kEwxShutdown, "shut down the computer");
    EXPECT_TRUE(rig.c().shuttingDown());
    rig.scheduler.advance(4'999);
    EXPECT_TRUE(rig.fake.calls.with("exitwindows").empty());
    rig.scheduler.advance(1);
    EXPECT_EQ(rig.fake.calls.with("exitwindows"), std::vector<std::string>{"exitwindows 5"});
    EXPECT_TRUE(rig.fake.processExit.ended);
}

TEST(Session, PausingTwiceKeepsTheFirstPreviousState) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.openSession(kSessionCard, kStateConnected);
    ASSERT_TRUE(rig.c().funPauseSession());
    rig.c().subShowBlockScreen();
    EXPECT_FALSE(rig.c().funPauseSession());
    EXPECT_EQ(rig.c().state(), kStatePaused);
    EXPECT_EQ(rig.c().previousState(), kStateConnected);
    rig.c().funUnPauseSession();
    EXPECT_EQ(rig.c().state(), kStateConnected);
}

TEST(Session, LockDuringASessionStopsItFirst) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.openSession(kSessionCard, kStateConnected);
    rig.c().hooks().tmrWksnStatus_Timer = [&] { rig.fake.calls.add("report"); };
    rig.calls().clear();
    rig.c().subLock();
    EXPECT_EQ(rig.c().state(), kStateBlocked);
    EXPECT_TRUE(inOrder(rig.calls(), {"report", "funHideStatusWindows", "funCloseAllApps",
                                      "show frmBlock state=3"}));
    // The stopped card session reset the previous state to the (blocked) Default State.
    EXPECT_TRUE(rig.fake.calls.with("mute").empty());
    EXPECT_FALSE(rig.c().sessionClock().enabled());
}

TEST(Session, CardSessionEndsInTheDefaultStateSelfServiceInState4) {
    for (int type : {kSessionCard, kSessionClient, kSessionFree, kSessionSelfService}) {
        ClientRig rig;
        rig.setWizard(1, 1);
        rig.start();
        rig.openSession(type, type == kSessionFree ? kStateFree : kStateConnected);
        rig.c().funStopSession(false);
        rig.c().subShowBlockScreen();
        if (type == kSessionSelfService) {
            EXPECT_EQ(rig.c().state(), kStateSessionEnd);
            EXPECT_EQ(rig.fake.forms.lastView.controls, BlockControls::SessionEnd);
        } else {
            EXPECT_EQ(rig.c().state(), kStateActive) << type;
            EXPECT_EQ(rig.c().previousState(), kStateActive) << type;
        }
    }
}

TEST(Session, DeactivatingWhilePausedStopsTheSession) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.openSession(kSessionCard, kStateDisconnected);
    EXPECT_TRUE(rig.c().tmrAppKiller().enabled());
    rig.c().funPauseSession();
    rig.c().subShowBlockScreen();
    rig.calls().clear();
    rig.c().subDeactivate();
    EXPECT_EQ(rig.c().state(), kStateDeactivated);
    EXPECT_TRUE(
        inOrder(rig.calls(), {"funCloseAllApps", "tray remove", "mute restore", "hide frmBlock",
                              "lockdown TaskSwitching -1", "show frmMain topmost"}));
    EXPECT_FALSE(rig.c().tmrAppKiller().enabled());
    EXPECT_FALSE(rig.c().tmrActiveTrayIcon().enabled());
}

TEST(Session, NoLockdownFlagCallsNoSwitchButASessionStillAllowsTaskSwitching) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start("-t");
    rig.openSession(kSessionCard, kStateConnected);
    rig.c().subLock();
    rig.c().subActivate();
    EXPECT_EQ(rig.fake.calls.with("lockdown"),
              (std::vector<std::string>{"lockdown TaskSwitching -1", "lockdown CtrlAltDel -1"}));
    EXPECT_FALSE(rig.fake.forms.lastView.topmost);
}

TEST(Session, StartRunsTheStepsInOrder) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.c().sessionStartBatchEnabled() = true;
    bool newList = false;
    rig.c().hooks().newBrowserList = [&] { newList = true; };
    rig.calls().clear();
    rig.openSession(kSessionSelfService, kStateDisconnected);
    EXPECT_TRUE(newList);
    EXPECT_TRUE(inOrder(rig.calls(),
                        {"status prepare 1", "status disconnected", "subSessionCleanup",
                         "funCloseAllApps", "subRunSessionStartBatch", "lockdown TaskSwitching -1",
                         "lockdown CtrlAltDel -1", "hide frmMain", "mute restore", "hide frmBlock",
                         "lockdown TaskSwitching -1", "lockdown CtrlAltDel -1",
                         "lockdown Desktop -1", "lockdown Taskbar -1", "subShowStatus"}));
    EXPECT_TRUE(rig.c().sessionClock().enabled());
    EXPECT_TRUE(rig.c().tmrURLspy().enabled());
    EXPECT_TRUE(rig.c().tmrAppKiller().enabled());
}

TEST(Session, RebootAfterAPrepaidSessionUnlessDebugOrNoReboot) {
    struct Case {
        const char* commandLine;
        bool noReboot;
        int type;
        bool reboots;
    } cases[] = {
        {"", false, kSessionCard, true},
        {"-d", false, kSessionCard, false},
        {"", true, kSessionCard, false},
        {"", false, kSessionSelfService, false},
    };
    for (const auto& c : cases) {
        ClientRig rig;
        rig.setWizard(1, 1);
        rig.setMachine("Constants", "wksnRebootOnSessionEnd", RegValue::dw(1));
        rig.start(c.commandLine);
        ASSERT_EQ(rig.c().constants().wksnRebootOnSessionEnd, 1);
        rig.openSession(c.type, kStateConnected);
        rig.c().funStopSession(c.noReboot);
        rig.scheduler.advance(10'000);
        EXPECT_EQ(rig.fake.calls.has("exitwindows 6"), c.reboots) << c.commandLine << c.noReboot;
        EXPECT_TRUE(rig.fake.calls.with("message").empty()) << "a reboot asks no question";
    }
}

// ActivateWksn at the end of a session with the reboot option: during the restart's delay
// nothing comes back on screen (tray icon, lock screen, blinking); without it the client
// activates as usual.
TEST(Session, ActivateWithRebootShowsNothingDuringTheRebootDelay) {
    for (const bool reboot : {true, false}) {
        ClientRig rig;
        rig.setWizard(1, 1);
        rig.setMachine("Constants", "wksnRebootOnSessionEnd", RegValue::dw(reboot ? 1 : 0));
        rig.setMachine("Constants", "wksnShutdownDelay", RegValue::dw(5));
        rig.start();
        rig.c().setPreviousState(kStateConnected);
        rig.c().setState(kStateSessionEnd);
        rig.fake.calls.clear();
        rig.c().onServerActivateWksn();
        rig.scheduler.advance(3'000);
        const auto& calls = rig.calls();
        const bool shown = rig.fake.calls.has("tray add") ||
                           !rig.fake.calls.with("show frmBlock").empty() ||
                           !rig.fake.calls.with("tray img").empty();
        EXPECT_EQ(shown, !reboot) << ::testing::PrintToString(calls);
        EXPECT_EQ(rig.c().tmrActiveTrayIcon().enabled(), !reboot);
        rig.scheduler.advance(3'000);
        EXPECT_EQ(rig.fake.calls.has("exitwindows 6"), reboot);
    }
}

// The main window's default position: centred on the screen, in twips.
TEST(Startup, MainWindowPositionDefaultsToTheScreenCentreInTwips) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.fake.forms.screen = {1280 * 15, 1024 * 15};
    rig.start();
    EXPECT_EQ(rig.c().userSettings().mainTop, (1024 * 15 - 1935) / 2);
    EXPECT_EQ(rig.c().userSettings().mainLeft, (1280 * 15 - 4740) / 2);
}

TEST(Session, ExhaustedCreditBlocksWithTheNoCreditScreen) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.c().setSessionType(kSessionCard);
    rig.c().setPreviousState(rig.c().state());
    rig.c().setState(kStateConnected);
    rig.c().sessionClock().onSessionOK(1.0 / 1440, 60000.0, 0); // one minute
    rig.c().funStartSession();
    bool forced = false;
    rig.c().hooks().subForceUpdate = [&] { forced = true; };
    rig.scheduler.advance(59'000);
    EXPECT_EQ(rig.c().state(), kStateConnected);
    rig.scheduler.advance(2'000);
    EXPECT_EQ(rig.c().state(), kStateNoCredit);
    EXPECT_EQ(rig.c().previousState(), kStateConnected);
    EXPECT_TRUE(forced);
    EXPECT_EQ(rig.fake.forms.lastView.controls, BlockControls::NoMoreCredit);
    EXPECT_TRUE(rig.fake.calls.has("mute 1"));
}

TEST(Session, MuteOnlyWhenComingFromAnUnblockedState) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.c().subLock(); // 2 -> 3
    EXPECT_TRUE(rig.fake.calls.with("mute").empty());
    rig.c().subActivate();
    rig.openSession(kSessionCard, kStateConnected);
    rig.calls().clear();
    rig.c().funPauseSession();
    rig.c().subShowBlockScreen();
    EXPECT_EQ(rig.fake.calls.with("mute"), std::vector<std::string>{"mute 1"});

    ClientRig off;
    off.setWizard(1, 1);
    off.setMachine("Constants", "wksnMuteVolWhenBlocked", RegValue::dw(0));
    off.start();
    off.openSession(kSessionCard, kStateConnected);
    off.c().subLock();
    EXPECT_TRUE(off.fake.calls.with("mute").empty());
}

TEST(Session, DialogsOpenKeepActivateAndDefaultStateFromActing) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.c().subLock();
    for (FormId f : {FormId::frmOptions, FormId::frmPasswdChange, FormId::frmPasswdClose,
                     FormId::frmSetupWizard}) {
        rig.fake.forms.m_loaded.insert(f);
        rig.c().subActivate();
        rig.c().subDefaultState();
        EXPECT_EQ(rig.c().state(), kStateBlocked) << formName(f);
        rig.fake.forms.m_loaded.erase(f);
    }
    rig.c().subActivate();
    EXPECT_EQ(rig.c().state(), kStateActive);
}

TEST(BlockScreen, ViewPerState) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.setMachine("General", "Hide Card Number", RegValue::dw(1));
    rig.start();
    bool linkUp = false;
    rig.c().hooks().serverLinkUp = [&] { return linkUp; };
    const std::string data = rig.layout.dataFolder + "/";
    struct Case {
        int state;
        BlockControls controls;
        std::string file;
        BlockFocus focus;
    } cases[] = {
        {kStateActive, BlockControls::Active, "en_intro.rtf", BlockFocus::LoginControls},
        {kStateBlocked, BlockControls::Blocked, "en_blocked.rtf", BlockFocus::None},
        {kStateSessionEnd, BlockControls::SessionEnd, "en_sessionend.rtf", BlockFocus::None},
        {kStateNoCredit, BlockControls::NoMoreCredit, "en_nocredit.rtf", BlockFocus::ReCnx},
        {kStatePaused, BlockControls::Paused, "en_sessionpaused.rtf", BlockFocus::UnPause},
        {kStatePausedLocked, BlockControls::Locked, "en_sessionpaused.rtf", BlockFocus::None},
        {kStateFollowServer, BlockControls::None, "", BlockFocus::None},
    };
    for (const auto& c : cases) {
        rig.c().setState(c.state);
        rig.c().subShowBlockScreen();
        const BlockScreenView& v = rig.fake.forms.lastView;
        EXPECT_EQ(v.state, c.state);
        EXPECT_EQ(v.controls, c.controls) << c.state;
        EXPECT_EQ(v.messageFile, c.file.empty() ? "" : data + c.file) << c.state;
        EXPECT_EQ(v.focus, c.focus) << c.state;
        EXPECT_EQ(v.followServer, c.state == kStateFollowServer);
        EXPECT_EQ(v.startCloseCountdown, c.state == kStateNoCredit);
        EXPECT_TRUE(v.hideCardNumber);
    }
    EXPECT_DOUBLE_EQ(rig.c().sessionExpiryCountdown(), 5.0 / 1440);
    EXPECT_FALSE(rig.fake.forms.lastView.rechargeEnabled);
    linkUp = true;
    rig.c().setState(kStateNoCredit);
    rig.c().subShowBlockScreen();
    EXPECT_TRUE(rig.fake.forms.lastView.rechargeEnabled) << "recharge only while the link is up";

    // Not a lock-screen state: the procedure ends before the form is shown.
    rig.calls().clear();
    rig.c().setState(kStateConnected);
    rig.c().subShowBlockScreen();
    EXPECT_TRUE(rig.fake.calls.with("show frmBlock").empty());
    EXPECT_TRUE(rig.fake.calls.with("lockdown").empty());
}

TEST(BlockScreen, MessageFilesFollowTheLanguageOrTheConfiguredPaths) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.c().texts().setCurrentLanguage("tlvcli_fr", 0);
    EXPECT_EQ(rig.c().messageFileFor(kStateBlocked), rig.layout.dataFolder + "/fr_blocked.rtf");
    rig.c().setState(kStateActive);
    rig.c().subShowBlockScreen();
    EXPECT_EQ(rig.fake.forms.lastView.messageFile, rig.layout.dataFolder + "/en_intro.rtf")
        << "state 2 returns to the café's language first";
    rig.c().settings().messageLogoFilesType = 1;
    rig.c().settings().msgBlocked = "C:\\msgs\\locked.rtf";
    EXPECT_EQ(rig.c().messageFileFor(kStateBlocked), "C:/msgs/locked.rtf");
    EXPECT_EQ(rig.c().messageFileFor(kStateConnected), "");
}

TEST(DefaultUsage, PreselectionByUsageAndEnabledOptions) {
    struct Case {
        int usage;
        bool selfEnabled, cardEnabled;
        const char* expected;
    } cases[] = {
        {4, true, true, "usage SelectClient"}, {1, true, true, "usage SelectSelfService"},
        {1, false, true, "usage Nothing"},     {2, true, true, "usage SelectCard"},
        {2, true, false, "usage ClearAll"},    {0, true, true, "usage HideChoice"},
        {7, true, true, "usage Nothing"},
    };
    for (const auto& c : cases) {
        ClientRig rig;
        rig.c().settings().defaultUsage = c.usage;
        if (!c.selfEnabled)
            rig.fake.forms.m_disabledOptions.insert(LockOption::SelfService);
        if (!c.cardEnabled)
            rig.fake.forms.m_disabledOptions.insert(LockOption::Card);
        rig.c().subSetDefaultUsage();
        EXPECT_EQ(rig.fake.calls.with("usage"), std::vector<std::string>{c.expected}) << c.usage;
    }
}

TEST(Disable, DeactivatesStopsEverythingAndStaysDisabled) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.clock.setSinceBoot(0);
    rig.start();
    rig.scheduler.advance(30'000); // the start wait
    bool closed = false;
    rig.c().hooks().closeSockets = [&] { closed = true; };
    rig.c().subDisableWksn("The server version is insufficient");
    EXPECT_TRUE(rig.c().disabled());
    EXPECT_EQ(rig.c().state(), kStateDeactivated);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(rig.fake.calls.has("disabled frmMain Disabled"));
    EXPECT_EQ(rig.fake.forms.lastMessageText,
              "Talvor Client has been disabled for the following reason:\r\n"
              "The server version is insufficient\r\n"
              "Please rectify the problem and restart Talvor Client");
    rig.scheduler.advance(120'000);
    EXPECT_FALSE(rig.c().tmrSrvCnxStatus().enabled()) << "the boot delay must not revive it";
    EXPECT_FALSE(rig.c().tmrWksnStatus().enabled());
}

TEST(Actions, ModeChangesAndTheirNoButtons) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.openSession(kSessionCard, kStateConnected);
    rig.c().subExecuteCommandButton(MsgAction::Disconnected, 1);
    EXPECT_EQ(rig.c().state(), kStateDisconnected);
    EXPECT_TRUE(rig.fake.calls.has("subKillApps"));
    EXPECT_TRUE(rig.c().tmrAppKiller().enabled());
    rig.c().subExecuteCommandButton(MsgAction::Connected, 2);
    EXPECT_EQ(rig.c().state(), kStateDisconnected);
    EXPECT_EQ(rig.fake.calls.calls.back(), "status disconnected");
    rig.c().subExecuteCommandButton(MsgAction::Connected, 1);
    EXPECT_EQ(rig.c().state(), kStateConnected);
    EXPECT_FALSE(rig.c().tmrAppKiller().enabled());
    rig.c().subExecuteCommandButton(MsgAction::CloseSession, 2);
    EXPECT_EQ(rig.c().state(), kStateConnected);
    rig.c().subExecuteCommandButton(MsgAction::CloseSession, 1);
    EXPECT_EQ(rig.c().state(), kStateActive);
}

TEST(MainForm, QuitAndDeactivateGoThroughThePasswordWhenOneIsSet) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.c().settings().password = "secret";
    rig.c().cmdQuit_Click();
    rig.c().mnuDeactivate_Click();
    EXPECT_TRUE(rig.fake.calls.has("subQuitPassword"));
    EXPECT_TRUE(rig.fake.calls.has("subDeactivationPassword"));
    EXPECT_FALSE(rig.fake.processExit.ended);
    EXPECT_EQ(rig.c().state(), kStateActive);

    rig.c().settings().password.clear();
    rig.c().mnuDeactivate_Click();
    EXPECT_EQ(rig.c().state(), kStateDeactivated);
    rig.c().cmdActiver_Click();
    EXPECT_EQ(rig.c().state(), kStateActive);
    rig.c().cmdQuit_Click();
    EXPECT_TRUE(rig.fake.processExit.ended);
}

TEST(Language, ServerDefaultLanguageIsSavedAndStartUpReadsIt) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.c().texts().setCurrentLanguage("tlvcli_de", 0);
    rig.c().subSetDefaultLanguage("_fr", 0);
    EXPECT_EQ(rig.c().texts().currentLanguage(), "tlvcli_fr");
    EXPECT_EQ(rig.c().texts().defaultLanguage(), "tlvcli_fr");
    const std::string key = SettingsStore::keyPath(kSettingsAppName, "General");
    EXPECT_EQ(rig.machine.get(key, "Interface Language"), RegValue::sz("tlvcli_fr"));

    ClientRig fresh;
    fresh.fake.systemInfo.lcid = 2055;
    fresh.start();
    EXPECT_EQ(fresh.c().texts().defaultLanguage(), "tlvcli_de") << "from the locale";
    EXPECT_EQ(fresh.c().messageFileFor(kStateBlocked), fresh.layout.dataFolder + "/de_blocked.rtf");
}

TEST(Language, ACustomersLanguageEndsWithTheSession) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    struct Form : Localizable {
        int calls = 0;
        void subLocalizeInterface() override { ++calls; }
    } form;
    rig.c().texts().registerForm(&form);
    rig.c().texts().setCurrentLanguage("tlvcli_fr", 0);
    rig.openSession(kSessionCard, kStateConnected);
    EXPECT_EQ(rig.c().texts().currentLanguage(), "tlvcli_fr");
    rig.c().funStopSession(false);
    rig.c().subShowBlockScreen();
    EXPECT_EQ(rig.c().texts().currentLanguage(), "tlvcli_en");
    EXPECT_EQ(form.calls, 2);
    rig.c().texts().unregisterForm(&form);
}

TEST(Tray, BlinksBetweenTheTwoImages) {
    ClientRig rig;
    rig.setWizard(1, 1);
    rig.start();
    rig.calls().clear();
    rig.scheduler.advance(3'000);
    EXPECT_EQ(rig.fake.calls.with("tray"),
              (std::vector<std::string>{"tray imgTlvCliSmall", "tray imgTlvInactive",
                                        "tray imgTlvCliSmall"}));
}

// The transitions, each from a start state: trigger, expected state, expected calls in order.
TEST(Transitions, Table) {
    using Trigger = std::function<void(Client&)>;
    struct Row {
        const char* name;
        int startState;
        int sessionType;
        Trigger trigger;
        int expectedState;
        std::vector<std::string> calls;
    };
    auto showAfter = [](std::function<bool(Client&)> f) {
        return [f](Client& c) {
            if (f(c))
                c.subShowBlockScreen();
        };
    };
    const std::vector<Row> rows = {
        {"activate from deactivated",
         1,
         0,
         [](Client& c) { c.subActivate(); },
         2,
         {"tray add", "show frmBlock state=2", "lockdown TaskSwitching 0", "hide frmMain"}},
        {"default state from blocked",
         3,
         0,
         [](Client& c) { c.subDefaultState(); },
         2,
         {"tray add", "show frmBlock state=2"}},
        {"lock from active",
         2,
         0,
         [](Client& c) { c.subLock(); },
         3,
         {"show frmBlock state=3", "lockdown TaskSwitching 0"}},
        {"lock from session end",
         4,
         1,
         [](Client& c) { c.subLock(); },
         3,
         {"show frmBlock state=3"}},
        {"deactivate from active",
         2,
         0,
         [](Client& c) { c.subDeactivate(); },
         1,
         {"tray remove", "mute restore", "hide frmBlock", "lockdown TaskSwitching -1",
          "show frmMain topmost"}},
        {"pause",
         6,
         2,
         showAfter([](Client& c) { return c.funPauseSession(); }),
         9,
         {"funHideStatusWindows", "mute 1", "show frmBlock state=9"}},
        {"lock session",
         5,
         2,
         showAfter([](Client& c) { return c.funLockSession(); }),
         10,
         {"funHideStatusWindows", "mute 1", "show frmBlock state=10"}},
        {"follow server",
         7,
         3,
         showAfter([](Client& c) { return c.funFollowSession(); }),
         11,
         {"funHideStatusWindows", "show frmBlock state=11"}},
        {"unpause",
         9,
         2,
         [](Client& c) { c.funUnPauseSession(); },
         6,
         {"hide frmMain", "mute restore", "hide frmBlock", "lockdown Taskbar -1", "subShowStatus"}},
        {"session close (card)",
         6,
         2,
         [](Client& c) {
             c.funStopSession(false);
             c.subShowBlockScreen();
         },
         2,
         {"funHideStatusWindows", "funCloseAllApps", "show frmBlock state=2"}},
        {"session close (self-service)",
         6,
         1,
         [](Client& c) {
             c.funStopSession(false);
             c.subShowBlockScreen();
         },
         4,
         {"funCloseAllApps", "show frmBlock state=4"}},
        {"free session",
         2,
         0,
         [](Client& c) {
             c.subUserInit();
             c.setSessionType(kSessionFree);
             c.setPreviousState(c.state());
             c.setState(kStateFree);
             c.funStartSession();
         },
         7,
         {"status prepare 3", "status connected", "subSessionCleanup", "subShowStatus"}},
        {"deactivate during a session",
         5,
         4,
         [](Client& c) { c.subDeactivate(); },
         1,
         {"funCloseAllApps", "tray remove", "show frmMain topmost"}},
    };
    for (const Row& r : rows) {
        ClientRig rig;
        rig.setWizard(1, 1);
        rig.start();
        rig.c().setSessionType(r.sessionType);
        if (r.startState > kStateSessionEnd && r.startState < kStatePaused) {
            rig.openSession(r.sessionType, r.startState);
        } else if (r.startState >= kStatePaused) {
            rig.openSession(r.sessionType, kStateConnected);
            rig.c().funPauseSession();
            rig.c().subShowBlockScreen();
        } else {
            rig.c().setState(r.startState);
            rig.c().setPreviousState(r.startState);
        }
        ASSERT_EQ(rig.c().state(), r.startState) << r.name;
        rig.calls().clear();
        r.trigger(rig.c());
        EXPECT_EQ(rig.c().state(), r.expectedState) << r.name;
        if (r.startState != kStateSessionEnd) {
            EXPECT_FALSE(rig.fake.calls.has("subRunSessionEndBatch")) << r.name;
        }
        EXPECT_TRUE(inOrder(rig.calls(), r.calls)) << r.name << "\n"
                                                   << [&] {
                                                          std::string all;
                                                          for (const auto& c : rig.calls())
                                                              all += "  " + c + "\n";
                                                          return all;
                                                      }();
    }
}

} // namespace
} // namespace tlv

namespace tlv::test {
namespace {

// A rig whose client was started by the session guard.
struct GuardedRig : ClientRig {
    GuardedRig() {
        ClientPorts p = ports();
        p.guard = &fake.guard;
        client = std::make_unique<Client>(p);
        setWizard(1, 1);
    }
};

TEST(SessionGuard, HearsOfStaffEndsAndOfTheReturnToServiceOnly) {
    struct Case {
        const char* what;
        std::function<void(Client&)> act;
        std::vector<std::string> expected; // guard calls, in order
    };
    const std::vector<Case> cases = {
        {"quit without a password", [](Client& c) { c.cmdQuit_Click(); }, {"guard release quit"}},
        {"quit password given", [](Client& c) { c.subStaffQuit(); }, {"guard release quit"}},
        {"quit password asked",
         [](Client& c) {
             c.settings().password = "secret";
             c.cmdQuit_Click();
         },
         {}},
        {"SIGTERM or a closed main form", [](Client& c) { c.funShutdownApplication(true); }, {}},
        {"deactivated, then activated",
         [](Client& c) {
             c.mnuDeactivate_Click();
             c.cmdActiver_Click();
         },
         {"guard release deactivated", "guard in service"}},
        {"deactivated by the server",
         [](Client& c) { c.subDisableWksn(""); },
         {"guard release deactivated"}},
        {"log off", [](Client& c) { c.subShutdown(kEwxLogOff, ""); }, {"guard release log off"}},
        {"restart", [](Client& c) { c.subShutdown(kEwxReboot, ""); }, {"guard release restart"}},
        {"activated while in service", [](Client& c) { c.subDefaultState(); }, {}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        GuardedRig rig;
        rig.start();
        ASSERT_EQ(rig.c().state(), kStateActive);
        k.act(rig.c());
        rig.scheduler.advance(10'000);
        EXPECT_EQ(rig.fake.calls.with("guard"), k.expected);
        if (!k.expected.empty() && k.expected.back() == "guard release quit") {
            EXPECT_TRUE(inOrder(rig.calls(), {"guard release quit", "end process 0"}));
        }
        if (std::string(k.what) == "log off") {
            EXPECT_TRUE(inOrder(rig.calls(), {"guard release log off", "exitwindows 4"}));
        }
    }
}

TEST(SessionGuard, AGuardThatDoesNotAnswerIsLoggedAndAskedAgain) {
    GuardedRig rig;
    rig.start();
    rig.fake.guard.refuse = true;
    rig.c().mnuDeactivate_Click();
    EXPECT_NE(rig.logText().find("modFunctions.tellGuardError"), std::string::npos)
        << rig.logText();
    rig.fake.guard.refuse = false;
    rig.c().subDeactivate();
    EXPECT_EQ(rig.fake.calls.with("guard"),
              (std::vector<std::string>{"guard release deactivated", "guard release deactivated"}));
}

TEST(SessionGuard, ACopyStartedAtLogonMakesWayForTheGuardsWithoutAMessage) {
    ClientRig rig;
    rig.fake.instanceLock.otherInstanceRunning = true;
    rig.fake.instanceLock.otherIsGuards = true;
    rig.setWizard(1, 1);
    rig.start();
    EXPECT_TRUE(rig.fake.processExit.ended);
    EXPECT_EQ(rig.fake.processExit.exitCode, 1);
    EXPECT_TRUE(rig.fake.forms.lastMessageText.empty()) << rig.fake.forms.lastMessageText;
    EXPECT_NE(rig.logText().find("The session guard runs this session's client"),
              std::string::npos);
    EXPECT_TRUE(rig.fake.calls.with("lockdown").empty());
}

TEST(SessionGuard, AClientStartedAgainLocksAndConnectsAtOnce) {
    GuardedRig rig;
    rig.fake.guard.restarted = true;
    rig.clock.setSinceBoot(10'000); // inside the start delay and the boot delay
    rig.start();
    EXPECT_EQ(rig.c().state(), kStateActive) << "the lock screen at once";
    EXPECT_FALSE(rig.fake.calls.with("lockdown").empty());
    EXPECT_EQ(rig.c().tmrActivateClient().interval(), 0);
    rig.scheduler.advance(1);
    EXPECT_TRUE(rig.c().clientStarted());
    EXPECT_TRUE(rig.c().tmrSrvCnxStatus().enabled());
}

} // namespace
} // namespace tlv::test
