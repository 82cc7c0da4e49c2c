#include "ui/frmAbout.h"

#include "core/error.h"
#include "core/log.h"
#include "core/string_table.h"
#include "platform/scheduler.h"
#include "platform/web_browser.h"
#include "tlv_version.h"
#include "ui/theme.h"
#include "ui_frmAbout.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include <cstring>
#include <exception>

namespace tlv {

namespace {

// The people thanked in the box: names are not translated.
constexpr const char* kSupporters[] = {
    "Aurélie Brandt",   "Tomasz Wierzbicki", "Rosa Lindqvist", "Kofi Mensah", "Elena Marchetti",
    "Pieter van Dalen", "Nadia Haddad",      "Joaquín Ferrer", "Greta Holm",  "Dimitris Kalogeros",
};
constexpr const char* kIconCredit = "Studio Lumen";
constexpr const char* kContact = "support@talvor.example";

std::string buildMonthYear() {
    // __DATE__ is "Mmm dd yyyy".
    static constexpr const char* kMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const char* date = __DATE__;
    const char* at = std::strstr(kMonths, std::string(date, 3).c_str());
    const int month = at ? static_cast<int>(at - kMonths) / 3 + 1 : 1;
    return std::to_string(month) + "/" + std::string(date + 7, 4);
}

} // namespace

AboutInfo buildAboutInfo(bool debug) {
    AboutInfo info;
    info.version = kVersionText;
    info.release = std::to_string(kVersionRevision);
    info.monthYear = buildMonthYear();
    info.debug = debug;
    return info;
}

frmAbout::frmAbout(Scheduler& scheduler, FormText text, Logger& log, Deps deps, AboutInfo info,
                   QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::frmAbout>()), m_text(std::move(text)), m_log(log),
      m_deps(std::move(deps)), m_info(std::move(info)) {
    try {
        m_ui->setupUi(this);
        setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        applyTheme(this, primaryScreenScale());
        if (m_deps.setFormLoaded)
            m_deps.setFormLoaded(FormId::frmAbout, true);
        subBuildAcknowledgements();
        subLocalizeInterface();

        QStringList lines;
        // "&&" is one ampersand on a button; a label shows every character as it is.
        for (const std::string& l : m_ackn)
            lines << QString::fromStdString(l).replace("&&", "&");
        m_ui->lblAckn->setText(lines.join("\r\n"));
        // The credits scroll through their frame: cut at its edges on purpose.
        m_ui->fraAckn->setProperty("scrolling", true);
        m_ui->lblAckn->setGeometry(0, 0, m_ui->fraAckn->minimumWidth(),
                                   kLineHeightPx * static_cast<int>(m_ackn.size()));

        m_ui->lblVersion->setText(QString::fromStdString(m_info.version) +
                                  (m_info.debug ? " Debug" : ""));
        m_ui->lblRelease->setText(QString::fromStdString(m_info.release));
        m_ui->lblMonthYear->setText(QString::fromStdString(m_info.monthYear));
        m_ui->lblContact->setText(kContact);
        m_ui->lblWebSite->setText(kWebAddress);
        m_ui->imgIcon->setPixmap(drawPicture(Picture::TrayActive, 48));

        for (QWidget* w : findChildren<QWidget*>())
            w->installEventFilter(this);

        // The notice wraps: its height follows the width.
        refitWindow(this);
        m_tmrAcknScroller = scheduler.createTimer([this] { tmrAcknScroller_Timer(); });
        m_tmrAcknScroller->start(100);
        m_tmrQuit = scheduler.createTimer([this] { unload(); });
        m_tmrQuit->setInterval(12000);
    } catch (const std::exception& e) {
        m_log.subLogError("frmAbout.Form_LoadError", e);
    }
}

frmAbout::~frmAbout() {
    if (!m_unloaded && m_deps.setFormLoaded)
        m_deps.setFormLoaded(FormId::frmAbout, false);
}

void frmAbout::subLocalizeInterface() {
    try {
        setWindowTitle(m_text(10141) + m_text(10000));
        m_ui->lblTitle->setText(m_text(10000));
        m_ui->lblVersionCaption->setText(m_text(10042));
        m_ui->lblReleaseCaption->setText(m_text(10043));
        QString notice = m_text(10010);
        m_ui->lblGpl->setText(notice.replace("\r\n", "\n"));
        m_ui->lblContactCaption->setText(m_text(10040));
        m_ui->lblWebSiteCaption->setText(m_text(10041));
        m_ui->lblAcknowledgements->setText(m_text(10011) + " ");
    } catch (const std::exception& e) {
        m_log.subLogError("frmAbout.subLocalizeInterfaceError", e);
    }
}

void frmAbout::subAddAcknLine(const std::string& text) {
    m_ackn.push_back(text);
}

void frmAbout::subBuildAcknowledgements() {
    try {
        m_ackn.clear();
        subAddAcknLine(m_text.raw(10039));
        for (const char* name : kSupporters)
            subAddAcknLine(name);
        subAddAcknLine("");
        subAddAcknLine(m_text.raw(10046));
        subAddAcknLine(kIconCredit);
        subAddAcknLine("");
        subAddAcknLine(m_text.raw(10044));
        if (!m_deps.funFindLangPacks)
            return;
        const std::string builtinCredit = builtinString(10045);
        for (const LangEntry& e : m_deps.funFindLangPacks()) {
            if (e.translator == builtinCredit)
                continue;
            subAddAcknLine(e.westernName + " - " + e.translator);
        }
    } catch (const std::exception& e) {
        m_log.subLogError("frmAbout.subBuildAcknowledgementsError", e);
    }
}

void frmAbout::tmrAcknScroller_Timer() {
    try {
        if (m_unloaded)
            return;
        // One still second when the box opens, then a pixel per tick, round and round.
        if (++m_ticks <= 10)
            return;
        QLabel* l = m_ui->lblAckn;
        int y = l->y() - 1;
        if (y + l->height() < 0)
            y = m_ui->fraAckn->height();
        l->move(l->x(), y);
    } catch (const std::exception& e) {
        m_log.subLogError("frmAbout.tmrAcknScroller_TimerError", e);
    }
}

void frmAbout::showAsSplash() {
    m_tmrQuit->start(12000);
    show();
}

void frmAbout::unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_tmrAcknScroller->stop();
    m_tmrQuit->stop();
    if (m_deps.setFormLoaded)
        m_deps.setFormLoaded(FormId::frmAbout, false);
    done(QDialog::Rejected);
    if (onUnload)
        onUnload();
}

void frmAbout::reject() {
    unload();
}

void frmAbout::mousePressEvent(QMouseEvent* e) {
    QDialog::mousePressEvent(e);
    unload();
}

bool frmAbout::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress) {
        if (watched == m_ui->lblWebSite)
            subGotoWeb(kWebAddress);
        else
            unload();
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

void frmAbout::subGotoWeb(const std::string& address) {
    try {
        if (!m_deps.web || !m_deps.web->open(address))
            throw TlvError(kErrFileNotFound, "The web page could not be opened: " + address);
    } catch (const std::exception& e) {
        m_log.subLogError("modWebAccess.subGotoWebError", e);
    }
}

} // namespace tlv
