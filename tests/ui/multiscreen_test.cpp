#include "platform/fake/virtual_time.h"
#include "ui/frmBlock.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tlv {
namespace {

struct NullHost : BlockHost {
    bool serverConnected() const override { return true; }
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
    std::string funFormatTime(int64_t) const override { return {}; }
};

std::vector<QWidget*> covers() {
    std::vector<QWidget*> v;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == "frmBlockCover" && w->isVisible())
            v.push_back(w);
    return v;
}

TEST(MultiScreen, EveryOtherScreenGetsAPlainBlockingWindow) {
    ASSERT_EQ(QGuiApplication::screens().size(), 2);
    VirtualClock clock;
    VirtualScheduler scheduler(clock);
    NullHost host;
    frmBlock block(scheduler, FormText({}), host, false);
    block.showCoveringScreen();
    QApplication::processEvents();
    const auto shown = covers();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->geometry(), QGuiApplication::screens().at(1)->geometry());
    EXPECT_TRUE(shown[0]->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(block.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    block.hide();
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(covers().empty());
}

} // namespace
} // namespace tlv

int main(int argc, char** argv) {
    // Two screens side by side on the offscreen platform.
    QTemporaryDir dir;
    const QString config = dir.filePath("screens.json");
    QFile f(config);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(R"({"screens": [)"
                R"({"name": "a", "x": 0, "y": 0, "width": 1366, "height": 768},)"
                R"({"name": "b", "x": 1366, "y": 0, "width": 1024, "height": 768}]})");
        f.close();
    }
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config).toLocal8Bit());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
