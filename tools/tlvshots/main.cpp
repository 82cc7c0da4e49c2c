// tlvshots OUTDIR [WIDTHxHEIGHT]: renders every form of the client in each of its states off
// screen into PNG files (1366x768 unless a size is given).
#include "core/format.h"
#include "core/localization.h"
#include "core/log.h"
#include "core/string_table.h"
#include "platform/fake/virtual_time.h"
#include "ui/default_docs.h"
#include "ui/frmBlock.h"
#include "ui/frmMain.h"
#include "ui/frmMsgBox.h"
#include "ui/load_img.h"
#include "ui/status_windows.h"
#include "ui_frmBlock.h"
#include "ui_frmMain.h"
#include "ui_frmMicroStatus.h"
#include "ui_frmSmallStatus.h"
#include "ui_frmStatus.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>
#include <filesystem>

namespace tlv {
namespace {

std::string builtinText(int id, const std::vector<std::string>& in) {
    const char* t = builtinString(id);
    auto at = [&](size_t i) { return i < in.size() ? in[i] : std::string(); };
    return expandMarkup(t ? t : "", at(0), at(1), at(2), at(3));
}

// A client that answers the forms' questions with fixed values.
struct ShotHost : BlockHost, StatusHost, MainHost {
    bool connected = true;
    int sessionTypeValue = 2;
    int stateValue = 6;
    std::string user = "734112";
    QRect area;

    bool serverConnected() const override { return connected; }
    void subStartConnexion(int, int, const std::string&, const std::string&) override {}
    void subCheckBalance() override {}
    void funUnPauseSession() override {}
    void askCloseSession() override {}
    void showInvalidCardNumber() override {}
    bool deactivationPasswordSet() const override { return false; }
    void subDeactivationPassword() override {}
    void subDeactivate() override {}
    void subActivate() override {}
    void subShowBlockScreen() override {}
    void funStopSession(bool) override {}
    void unloadDeactivationPasswordDialog() override {}
    void languageChosen(int) override {}
    std::string funFormatTime(int64_t seconds) const override {
        return formatTimeMs(seconds * 1000, 0, TimeUnits{});
    }

    int sessionType() const override { return sessionTypeValue; }
    int state() const override { return stateValue; }
    std::string userId() const override { return user; }
    bool hideAllStatusWindows() const override { return false; }
    bool disableSessionCloseButton() const override { return false; }
    bool blockingDialogShown() const override { return false; }
    void hideMainForm() override {}
    void subUnblock() override {}
    void unloadPasswdChangeAndAbout() override {}
    void showPasswdChange(QWidget*) override {}
    void askPause(QWidget*) override {}
    void askCloseSession(QWidget*) override {}
    void askConnectedMode(ModeOptionOwner*) override {}
    void askDisconnectedMode(ModeOptionOwner*) override {}
    void sendChatMessage(const std::string&) override {}
    void setStopSessionMenuEnabled(bool) override {}
    QRect workArea() const override { return area; }

    void subDefaultState() override {}
    void quitRequested() override {}
    void logOffRequested() override {}
    void deactivateRequested() override {}
    void toggleStatusWindows() override {}
    void askStopSession() override {}
    void showOptions() override {}
    void showAbout(bool) override {}
    void formUnloaded() override {}
    bool aboutShown() const override { return false; }
};

struct MsgHost : MessageBoxes::Host {
    void beep() override {}
    void unloadPasswordDialogs() override {}
    void setMsgBoxShown(bool) override {}
};

QString g_out;
int g_written = 0;

void save(const QImage& img, const QString& name) {
    const QString path = QDir(g_out).filePath(name + ".png");
    if (img.save(path, "PNG")) {
        ++g_written;
        std::printf("%s\n", path.toLocal8Bit().constData());
    } else {
        std::fprintf(stderr, "tlvshots: cannot write %s\n", path.toLocal8Bit().constData());
    }
}

QImage grab(QWidget& w) {
    // Layout requests travel up one parent per round.
    for (int i = 0; i < 6; ++i) {
        QApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QApplication::processEvents();
    }
    return w.grab().toImage();
}

// A plain desktop with the window drawn where the client places it, with a title bar.
QImage onDesktop(QWidget& w, const QSize& screen, const QPoint& at) {
    QImage desk(screen, QImage::Format_RGB32);
    QPainter p(&desk);
    QLinearGradient g(0, 0, screen.width(), screen.height());
    g.setColorAt(0, QColor(58, 84, 110));
    g.setColorAt(1, QColor(120, 140, 150));
    p.fillRect(desk.rect(), g);
    p.fillRect(QRect(0, screen.height() - 36, screen.width(), 36), QColor(20, 24, 30));
    const QImage body = grab(w);
    const int bar = 28;
    const QRect frame(at.x(), at.y() - bar, body.width(), body.height() + bar);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(frame.adjusted(-1, -1, 1, 1), QColor(0, 0, 0, 90));
    p.fillRect(QRect(frame.topLeft(), QSize(frame.width(), bar)), QColor(34, 40, 50));
    p.setPen(QColor(220, 226, 234));
    QFont f = p.font();
    f.setPixelSize(13);
    p.setFont(f);
    p.drawText(QRect(frame.left() + 10, frame.top(), frame.width() - 20, bar),
               Qt::AlignVCenter | Qt::AlignLeft, w.windowTitle());
    p.drawImage(at, body);
    return desk;
}

QPoint bottomRight(QWidget& w, const QSize& screen) {
    QApplication::processEvents();
    w.adjustSize();
    const QSize s = w.size();
    return {screen.width() - s.width() - 4, screen.height() - 36 - s.height() - 4};
}

QPixmap followedScreen(const QSize& size) {
    QPixmap pm(size);
    QPainter p(&pm);
    p.fillRect(pm.rect(), QColor(236, 239, 243));
    p.fillRect(QRect(0, 0, size.width(), 40), QColor(40, 90, 160));
    p.fillRect(QRect(40, 80, size.width() / 2, size.height() / 2), QColor(255, 255, 255));
    p.setPen(QColor(120, 130, 145));
    for (int y = 100; y < size.height() / 2 + 60; y += 24)
        p.drawLine(60, y, size.width() / 2, y);
    return pm;
}

int run(const QString& outDir, QSize screen) {
    g_out = outDir;
    QDir().mkpath(outDir);
    VirtualClock clock;
    VirtualScheduler scheduler(clock);
    FormText text(builtinText);
    ShotHost host;
    host.area = QRect(QPoint(0, 0), QSize(screen.width(), screen.height() - 36));

    QTemporaryDir docs;
    const std::string docsPath = docs.path().toStdString();
    installDefaultDocuments(docsPath, nullptr);
    auto doc = [&](const char* name) { return docsPath + "/en_" + name; };
    // Read as the program reads it.
    Logger log(clock, docsPath + "/tlvshots.log");
    const QPixmap logo = QPixmap::fromImage(
        funLoadImg(QString::fromStdString(docsPath + "/logo.png"), log, frmBlock::panelColour()));
    const QString suffix = screen == QSize(1366, 768)
                               ? QString()
                               : QString("_%1x%2").arg(screen.width()).arg(screen.height());

    // ---- the lock screen ----
    {
        frmBlock block(scheduler, text, host, true);
        block.setFixedSize(screen);
        block.setLogo(logo);
        block.setWorkstationName("PC-07");
        block.setSandbox(true);
        block.fillLanguages({{"English", 0}, {"French", 1}, {"German", 2}}, 0);
        block.setServerConnected(true);
        block.show();
        auto state2 = [&](int usage) {
            block.showStateFrames(2);
            block.setMessageFile(doc("intro.rtf"));
            block.resetLoginPanel(usage, true);
        };
        state2(2);
        save(grab(block), "frmBlock_2_card" + suffix);
        block.ui().txtCardNum->setFocus();
        block.ui().txtCardNum->setText("12a");
        save(grab(block), "frmBlock_2_card_hint" + suffix);
        state2(4);
        block.ui().txtLogin->setText("Maria");
        block.ui().txtPassword->setText("secret");
        save(grab(block), "frmBlock_2_client" + suffix);
        block.ui().txtLogin->setText("ma ria%");
        save(grab(block), "frmBlock_2_client_hint" + suffix);
        state2(1);
        save(grab(block), "frmBlock_2_selfservice" + suffix);
        block.setServerConnected(false);
        state2(2);
        save(grab(block), "frmBlock_2_noserver" + suffix);
        block.setServerConnected(true);
        const struct {
            int state;
            const char* file;
            const char* name;
        } others[] = {{3, "blocked.rtf", "frmBlock_3_blocked"},
                      {4, "sessionend.rtf", "frmBlock_4_sessionend"},
                      {8, "nocredit.rtf", "frmBlock_8_nocredit"},
                      {9, "sessionpaused.rtf", "frmBlock_9_paused"},
                      {10, "sessionpaused.rtf", "frmBlock_10_locked"}};
        for (const auto& o : others) {
            block.showStateFrames(o.state);
            block.setMessageFile(doc(o.file));
            if (o.state == 8)
                block.startCloseSessionCountdown(299);
            save(grab(block), o.name + suffix);
        }
        block.setFollowedScreen(followedScreen(screen));
        block.showStateFrames(11);
        save(grab(block), "frmBlock_11_followserver" + suffix);

        // The message box over the lock screen.
        block.showStateFrames(2);
        block.setMessageFile(doc("intro.rtf"));
        state2(2);
        MsgHost mh;
        MessageBoxes boxes(scheduler, text, mh);
        auto overlay = [&](const QString& name) {
            QImage shot = grab(block);
            QImage box = grab(*boxes.box());
            QPainter p(&shot);
            p.fillRect(shot.rect(), QColor(0, 0, 0, 110));
            const QPoint at((shot.width() - box.width()) / 2, (shot.height() - box.height()) / 2);
            p.drawImage(at, box);
            p.end();
            save(shot, name + suffix);
            save(box, name + "_box" + suffix);
        };
        boxes.subShowMsgBox(text(10104), 0, 1, nullptr, nullptr, 0, false);
        overlay("frmMsgBox_ok");
        boxes.subShowMsgBox(text(10184), 1, 2, std::make_unique<clsActionEmpty>(), nullptr, 0,
                            false);
        overlay("frmMsgBox_yesno");
        boxes.unload();
    }

    // ---- status windows ----
    {
        StatusWindows status(scheduler, text, host);
        struct Case {
            int type;
            const char* name;
            std::string user;
        } cases[] = {{2, "card", "734112"}, {4, "client", "maria.lopez"}, {1, "selfservice", ""}};
        for (const Case& c : cases) {
            host.sessionTypeValue = c.type;
            host.user = c.user;
            status.prepareForSession(c.type);
            auto& u = status.status().ui();
            u.lblNumCard->setText("734112");
            u.lblValidDate->setText("31/12/2026");
            u.lblValidTime->setText("23:59:00");
            u.lblRemainTime->setText("01:42:17");
            u.lblCliValidDate->setText("31/12/2026");
            u.lblCliValidTime->setText("23:59:00");
            u.lblCliRemainTime->setText("03:05:44");
            u.lblElapsedTimeSelfService->setText("00:37:12");
            u.lblAmountDue->setText("\xE2\x82\xAC 1.90");
            u.lblTimeToNextIncrement->setText("02:48");
            status.status().show();
            save(onDesktop(status.status(), screen, bottomRight(status.status(), screen)),
                 QString("frmStatus_") + c.name + suffix);
            auto& s = status.smallStatus().ui();
            s.lblRemainTime->setText("01:42:17");
            s.lblElapsedTimeCard->setText("00:17:43");
            s.lblElapsedTimeSelfService->setText("00:37:12");
            s.lblAmountDue->setText("\xE2\x82\xAC 1.90");
            s.lblTimeToNextIncrement->setText("02:48");
            status.smallStatus().show();
            save(onDesktop(status.smallStatus(), screen, bottomRight(status.smallStatus(), screen)),
                 QString("frmSmallStatus_") + c.name + suffix);
        }
        host.sessionTypeValue = 4;
        host.user = "maria.lopez.garcia";
        status.prepareForSession(4);
        status.status().show();
        status.receiveChatMessage("Hello! Your coffee is ready at the counter.");
        status.status().ui().txtWksnChat->setText("Thanks, coming!");
        status.cmdChat_Click();
        status.status().ui().txtWksnChat->setText("Can I print two pages?");
        save(onDesktop(status.status(), screen, bottomRight(status.status(), screen)),
             "frmStatus_chat" + suffix);
        status.microStatus().show();
        save(onDesktop(status.microStatus(), screen, bottomRight(status.microStatus(), screen)),
             "frmMicroStatus" + suffix);
    }

    // ---- main form ----
    {
        frmMain main(text, host);
        main.setServerName(text(10310));
        main.setConnexionStatus(text(10337));
        main.show();
        const QSize s = main.size();
        save(
            onDesktop(main, screen,
                      QPoint((screen.width() - s.width()) / 2, (screen.height() - s.height()) / 2)),
            "frmMain" + suffix);
        main.ui().mnuDeactivate->setEnabled(false);
        save(main.mnuPopup().grab().toImage(), "frmMain_mnuPopup" + suffix);
    }
    return g_written > 0 ? 0 : 1;
}

} // namespace
} // namespace tlv

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tlvshots OUTDIR [WIDTHxHEIGHT]\n");
        return 2;
    }
    QSize screen(1366, 768);
    if (argc > 2) {
        const QStringList wh = QString(argv[2]).split('x');
        if (wh.size() == 2 && wh[0].toInt() > 0 && wh[1].toInt() > 0)
            screen = QSize(wh[0].toInt(), wh[1].toInt());
    }
    // The offscreen platform with one screen of the size asked for.
    QTemporaryDir config;
    const QString configFile = config.filePath("screens.json");
    QFile f(configFile);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(QString("{\"screens\": [{\"name\": \"shot\", \"x\": 0, \"y\": 0, \"width\": %1, "
                        "\"height\": %2, \"logicalDpi\": 96, \"logicalBaseDpi\": 96, "
                        "\"dpr\": 1}]}")
                    .arg(screen.width())
                    .arg(screen.height())
                    .toUtf8());
        f.close();
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + configFile).toLocal8Bit());
    QApplication app(argc, argv);
    return tlv::run(QString::fromLocal8Bit(argv[1]), screen);
}
