#pragma once

#include "core/localization.h"
#include "platform/forms_port.h"
#include "ui/form_text.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Ui {
class frmAbout;
}

namespace tlv {

class Logger;
class Scheduler;
class Timer;
class WebBrowser;

struct AboutInfo {
    std::string version;   // major.minor.revision
    std::string release;   // release number
    std::string monthYear; // build month, "12/2006"
    bool debug = false;    // "-d": " Debug" after the version
};

// The build's own values: version and revision of tlv_version.h, the month of compilation.
AboutInfo buildAboutInfo(bool debug);

class frmAbout : public QDialog, public Localizable {
    Q_OBJECT
public:
    struct Deps {
        std::function<std::vector<LangEntry>()> funFindLangPacks;
        std::function<void(FormId, bool)> setFormLoaded;
        WebBrowser* web = nullptr;
    };
    frmAbout(Scheduler& scheduler, FormText text, Logger& log, Deps deps, AboutInfo info,
             QWidget* parent = nullptr);
    ~frmAbout() override;

    Ui::frmAbout& ui() { return *m_ui; }
    void subLocalizeInterface() override;
    const std::vector<std::string>& acknowledgements() const { return m_ackn; }
    // Shown at start-up: unloads itself after 12 seconds unless clicked away before.
    void showAsSplash();
    void unload();
    bool unloaded() const { return m_unloaded; }
    std::function<void()> onUnload;

    static constexpr int kLineHeightPx = 17; // 255 twips
    static constexpr const char* kWebAddress = "https://www.talvor.example/";

protected:
    void mousePressEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void reject() override;

private:
    void subBuildAcknowledgements();
    void subAddAcknLine(const std::string& text);
    void subGotoWeb(const std::string& address);
    void tmrAcknScroller_Timer();

    std::unique_ptr<Ui::frmAbout> m_ui;
    FormText m_text;
    Logger& m_log;
    Deps m_deps;
    AboutInfo m_info;
    std::vector<std::string> m_ackn;
    std::unique_ptr<Timer> m_tmrAcknScroller;
    std::unique_ptr<Timer> m_tmrQuit;
    int m_ticks = 0;
    bool m_unloaded = false;
};

} // namespace tlv
