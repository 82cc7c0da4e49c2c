#include "ui/frmBlock.h"

#include "core/string_table.h"
#include "platform/qt/qt_lock_windows.h"
#include "platform/scheduler.h"
#include "tlv_version.h"
#include "ui/language_flags.h"
#include "ui/rtf/rtf_qt.h"
#include "ui/theme.h"
#include "ui_frmBlock.h"

#include <QAbstractTextDocumentLayout>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QWindow>

#include <cmath>

namespace tlv {

namespace {

// The 18 characters a login may not contain.
const QString kIllegalLogin = QStringLiteral("\\?/:*<>|\" '#~\u00A8^`%$");

constexpr int kTypeSelfService = 1;
constexpr int kTypeCard = 2;
constexpr int kTypeClient = 4;
constexpr int kModeDisconnected = 5;
constexpr int kModeConnected = 6;

} // namespace

frmBlock::frmBlock(Scheduler& scheduler, FormText text, BlockHost& host, bool noLockdown,
                   QWidget* parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::frmBlock>()), m_text(std::move(text)),
      m_host(host), m_noLockdown(noLockdown) {
    m_ui->setupUi(this);
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint |
                   (noLockdown ? Qt::WindowType(0) : Qt::WindowStaysOnTopHint));

    m_tmrActivateTimeout = scheduler.createTimer([this] { tmrActivateTimeout_Timer(); });
    m_tmrActivateTimeout->setInterval(5000);
    m_tmrCloseSession = scheduler.createTimer([this] { tmrCloseSession_Timer(); });
    m_tmrCloseSession->setInterval(1000);
    m_tmrUnblock = scheduler.createTimer([this] { tmrUnblock_Timer(); });
    m_tmrUnblock->setInterval(1000);
    m_tmrNoServCnx = scheduler.createTimer([this] { tmrNoServCnx_Timer(); });
    m_tmrNoServCnx->setInterval(500);
    // A monitor plugged in (or out) while locked is covered too.
    const auto recover = [this] {
        if (isVisible())
            coverOtherScreens(true);
    };
    connect(qGuiApp, &QGuiApplication::screenAdded, this, recover);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, recover);

    auto& u = *m_ui;
    connect(u.optCard, &QRadioButton::clicked, this, [this] { optCard_Click(); });
    connect(u.OptClient, &QRadioButton::clicked, this, [this] { OptClient_Click(); });
    connect(u.optSelfService, &QRadioButton::clicked, this, [this] { optSelfService_Click(); });
    connect(u.txtCardNum, &QLineEdit::textChanged, this, [this] { txtCardNum_Change(); });
    connect(u.txtLogin, &QLineEdit::textChanged, this, [this] { txtLogin_Change(); });
    connect(u.cmdCxn, &QPushButton::clicked, this, [this] { cmdCxn_Click(); });
    connect(u.cmdReCnx, &QPushButton::clicked, this, [this] { m_host.subCheckBalance(); });
    connect(u.cmdUnPause, &QPushButton::clicked, this, [this] { m_host.funUnPauseSession(); });
    connect(u.cmdQuit_0, &QPushButton::clicked, this, [this] {
        m_ui->cmdReCnx->setFocus();
        m_host.askCloseSession();
    });
    connect(u.cmdQuit_1, &QPushButton::clicked, this, [this] {
        m_ui->cmdUnPause->setFocus();
        m_host.askCloseSession();
    });
    connect(u.cmbLanguage, &QComboBox::activated, this, [this](int index) {
        if (!m_languageTable.empty())
            showLanguageFlags(*m_ui->cmbLanguage, *m_ui->imgFlags, m_languageTable);
        m_host.languageChosen(m_ui->cmbLanguage->itemData(index).toInt());
    });
    // Every control: the deactivation keys work wherever the focus is.
    for (QWidget* w : findChildren<QWidget*>())
        w->installEventFilter(this);

    // The hints keep their room while hidden: the panel does not move when one appears.
    for (QWidget* hint :
         {static_cast<QWidget*>(u.txtCardNumToolTip), static_cast<QWidget*>(u.txtLoginToolTip)}) {
        QSizePolicy policy = hint->sizePolicy();
        policy.setRetainSizeWhenHidden(true);
        hint->setSizePolicy(policy);
        hint->hide();
    }
    u.lblServerLost->hide();
    u.fraFollowServer->hide();
    u.lblSandbox->hide();
    u.imgFlags->setPixmap(drawPicture(Picture::Language, 20));
    u.rtbMessage->viewport()->setAutoFillBackground(false);
    u.lblAppVersion->setText(QString());
    // The panel keeps the height of its content; the bands and the spacers take the rest.
    u.fraForm->layout()->setSizeConstraint(QLayout::SetFixedSize);
    applyScale();
    subLocalizeInterface();
    setServerConnected(false);
    showStateFrames(2);
}

frmBlock::~frmBlock() {
    coverOtherScreens(false);
}

void frmBlock::subLocalizeInterface() {
    auto& u = *m_ui;
    const FormText& t = m_text;
    setWindowTitle(t(10000));
    u.cmdCxn->setText(t(10113));
    u.cmdCxn->setToolTip(t(10135));
    u.cmdQuit_0->setText(t(10114));
    u.cmdQuit_0->setToolTip(t(10136));
    u.cmdQuit_1->setText(t(10114));
    u.cmdQuit_1->setToolTip(t(10136));
    u.cmdReCnx->setText(t(10113));
    u.cmdReCnx->setToolTip(t(10137));
    u.cmdUnPause->setText(t(10113));
    u.cmdUnPause->setToolTip(t(10138));
    u.optCard->setText(t(10126));
    u.optCard->setToolTip(t(10127));
    u.OptClient->setText(t(10318));
    u.OptClient->setToolTip(t(10330));
    u.optSelfService->setText(t(10128));
    u.optSelfService->setToolTip(t(10129));
    u.optConnected->setText(t(10130));
    u.optConnected->setToolTip(t(10131));
    u.optDisconnected->setText(t(10132));
    u.optDisconnected->setToolTip(t(10133));
    u.txtCardNum->setToolTip(t(10134));
    u.txtLogin->setToolTip(t(10334));
    u.txtPassword->setToolTip(t(10335));
    u.lblCardNumber->setText(t(10115));
    u.lblSessionType->setText(t(10116));
    u.lblSessionMode->setText(t(10117));
    u.lblClientLogin->setText(t(10319));
    u.lblLogin->setText(t(10320));
    u.lblPassword->setText(t(10321));
    u.txtCardNumToolTip->setText(t(10332));
    u.txtLoginToolTip->setText(t(10333, {illegalLoginCharacters().toStdString()}));
    u.lblBlocked->setText(t(10121));
    u.lblBlockedContact->setText(t(10120));
    u.lblSessionEnd->setText(t(10122));
    u.lblSessionEndContact->setText(t(10123));
    u.lblNoMoreCredit->setText(t(10118));
    u.lblNoMoreCreditQuit->setText(t(10119));
    u.lblPaused->setText(t(10125));
    u.lblPausedQuit->setText(t(10124));
    u.lblLocked->setText(t(10298));
    u.lblLockedContact->setText(t(10123));
    u.picLogo->setToolTip(t(10339));
    u.lblServerLost->setText(t(kStrServerLost));
    if (m_followed.isNull())
        u.imgFollowServer->setText(t(kStrFollowingServer));
    u.lblGNU->setText(t(10010));
    u.lblAppVersion->setText(t(10000) + " " + QString::fromUtf8(kVersionText));
    if (m_tmrCloseSession->enabled() || m_state == 8)
        u.lblCloseSessionWarning->setText(
            t(10219) + QString::fromStdString(m_host.funFormatTime(m_sessionExpiry)));
    updateIndicatorTip();
    fitPanel();
}

void frmBlock::showCoveringScreen() {
    if (const QScreen* s = screen())
        setGeometry(s->geometry());
    showFullScreen();
    raise();
    activateWindow();
    // Without a window manager the first layout can leave the window at its own size.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (const QScreen* s = screen(); s && isVisible() && geometry() != s->geometry())
                setGeometry(s->geometry());
        },
        Qt::QueuedConnection);
}

void frmBlock::showStateFrames(int state) {
    auto& u = *m_ui;
    m_state = state;
    const bool follow = state == 11;
    // The header stays: a customer watching the manager's screen may switch language too.
    u.fraFooter->setVisible(!follow);
    u.fraForm->setVisible(!follow);
    u.fraFollowServer->setVisible(follow);
    if (follow) {
        u.fraFollowServer->raise();
        placeFollowedScreen();
    }
    u.fraControlsActive->setVisible(state == 2);
    u.fraControlsBlocked->setVisible(state == 3);
    u.fraControlsSessionEnd->setVisible(state == 4);
    u.fraControlsNoMoreCredit->setVisible(state == 8);
    u.fraControlsPaused->setVisible(state == 9);
    u.fraControlsLocked->setVisible(state == 10);
    // Every blocked state offers the language choice: a paused customer reads it too.
    u.imgFlags->setVisible(u.cmbLanguage->count() > 0);
    if (state != 8)
        m_tmrCloseSession->stop();
    if (state == 8)
        u.cmdReCnx->setEnabled(m_connected);
    updateServerLost();
    fitPanel();
}

void frmBlock::updateServerLost() {
    // What needs the server says why it is off, not only the small indicator.
    m_ui->lblServerLost->setVisible(!m_connected && (m_state == 2 || m_state == 8));
}

void frmBlock::resetLoginPanel(int defaultUsage, bool connectedMode) {
    auto& u = *m_ui;
    // A session that ended within the wait's five seconds must not leave the next customer
    // with disabled boxes.
    if (m_tmrActivateTimeout->enabled() || !u.txtCardNum->isEnabled())
        tmrActivateTimeout_Timer();
    u.txtCardNum->clear();
    u.txtLogin->clear();
    u.txtPassword->clear();
    u.txtCardNumToolTip->hide();
    u.txtLoginToolTip->hide();
    u.fraUsage->setVisible(defaultUsage != 0);
    switch (defaultUsage) {
    case 4:
        u.OptClient->setChecked(true);
        OptClient_Click();
        break;
    case 1:
        if (u.optSelfService->isEnabled()) {
            u.optSelfService->setChecked(true);
            optSelfService_Click();
        }
        break;
    case 2:
        if (u.optCard->isEnabled()) {
            u.optCard->setChecked(true);
            optCard_Click();
        }
        break;
    default:
        if (u.optCard->isChecked())
            optCard_Click();
        else if (u.OptClient->isChecked())
            OptClient_Click();
        else
            optSelfService_Click();
        break;
    }
    (connectedMode ? u.optConnected : u.optDisconnected)->setChecked(true);
}

void frmBlock::setMessageFile(const std::string& path) {
    m_messageFile = path;
    rtf::RenderOptions opts;
    opts.background = panelColour();
    opts.defaultText = QColor(232, 237, 243);
    opts.scale = m_scale;
    QTextDocument* doc = m_ui->rtbMessage->document();
    if (path.empty() || !rtf::loadTextDocument(QString::fromStdString(path), *doc, opts))
        doc->clear();
    fitPanel();
}

namespace {

// The bottom of the last line that ends above limit: a box of that height shows no cut line.
int lastLineBottom(QTextDocument& doc, int limit) {
    int best = 0;
    QAbstractTextDocumentLayout* layout = doc.documentLayout();
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QRectF r = layout->blockBoundingRect(b);
        const QTextLayout* lines = b.layout();
        for (int i = 0; lines && i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            const int bottom = static_cast<int>(std::ceil(r.top() + line.y() + line.height()));
            if (bottom <= limit)
                best = std::max(best, bottom);
        }
    }
    return best > 0 ? best : limit;
}

} // namespace

void frmBlock::fitPanel() {
    auto& u = *m_ui;
    QTextDocument* doc = u.rtbMessage->document();
    const bool shown = !doc->isEmpty() && m_state != 11;
    u.fraMessage->setVisible(shown);
    if (!shown)
        return;
    const double scale = m_scale > 0 ? m_scale : 1.0;
    QLayout* l = u.fraForm->layout();
    const QMargins m = l->contentsMargins();
    // The panel as its fixed-size layout will make it with a message of one pixel: the other
    // rows give its width, and the height they leave between the header and the footer is
    // the message's.
    u.rtbMessage->setFixedSize(1, 1);
    settleLayout(u.fraForm);
    const QSize others = l->sizeHint();
    const int width =
        std::max(static_cast<int>(640 * scale), others.width()) - m.left() - m.right();
    const int rest = others.height() - 1;
    int bands = 0;
    for (QWidget* band : {u.fraHeader, u.fraFooter})
        if (!band->isHidden())
            bands += band->sizeHint().height();
    const int gaps = 2 * static_cast<int>(10 * scale);
    // Before the first show the window does not have its screen's size yet.
    const QSize area = screen() && !isVisible() ? screen()->geometry().size() : size();
    const int screenHeight = area.height();
    const int room = screenHeight - bands - gaps - rest;
    if (room < static_cast<int>(40 * scale)) {
        // A small screen: the controls come first.
        u.fraMessage->hide();
        return;
    }

    // A long message first widens the panel (up to most of the screen), then scrolls.
    auto docHeight = [doc](int w) {
        doc->setTextWidth(w);
        return static_cast<int>(std::ceil(doc->size().height()));
    };
    const int widest =
        std::max(width, std::min(area.width() * 9 / 10, static_cast<int>(1100 * scale)) - m.left() -
                            m.right());
    int textWidth = width;
    int h = docHeight(textWidth);
    while (h > room && textWidth < widest) {
        textWidth = std::min(widest, textWidth + static_cast<int>(60 * scale));
        h = docHeight(textWidth);
    }
    int box = h + 2;
    const bool scrolls = box > room;
    if (scrolls) {
        docHeight(textWidth - u.rtbMessage->verticalScrollBar()->sizeHint().width());
        box = lastLineBottom(*doc, room);
    }
    u.rtbMessage->setVerticalScrollBarPolicy(scrolls ? Qt::ScrollBarAsNeeded
                                                     : Qt::ScrollBarAlwaysOff);
    u.rtbMessage->setFixedSize(textWidth, box);
}

void frmBlock::setLogo(const QPixmap& logo) {
    m_logo = logo;
    applyScale();
}

void frmBlock::setFollowedScreen(const QPixmap& screen) {
    m_followed = screen;
    auto* img = m_ui->imgFollowServer;
    // Until the manager's screen arrives the customer reads what the pause means.
    img->setScaledContents(!screen.isNull());
    if (screen.isNull()) {
        img->setPixmap({});
        img->setText(m_text(kStrFollowingServer));
    } else {
        img->setText({});
        img->setPixmap(screen);
    }
}

void frmBlock::setHideCardNumber(bool hide) {
    m_ui->txtCardNum->setEchoMode(hide ? QLineEdit::Password : QLineEdit::Normal);
}

void frmBlock::setWorkstationName(const std::string& name) {
    m_ui->lblWksnName->setText(QString::fromStdString(name));
}

void frmBlock::setVersionText(const std::string& version) {
    m_ui->lblAppVersion->setText(m_text(10000) + " " + QString::fromStdString(version));
}

void frmBlock::setSandbox(bool sandbox) {
    m_ui->lblSandbox->setVisible(sandbox);
}

void frmBlock::fillLanguages(const std::vector<LanguageItem>& languages, int currentEntry,
                             const std::vector<LangEntry>& table) {
    auto* c = m_ui->cmbLanguage;
    c->clear();
    for (const LanguageItem& l : sortedLanguages(languages)) {
        c->addItem(languageCaption(l), l.entry);
        if (l.entry == currentEntry)
            c->setCurrentIndex(c->count() - 1);
    }
    m_languageTable = table;
    if (!table.empty())
        showLanguageFlags(*c, *m_ui->imgFlags, table);
    m_ui->imgFlags->setVisible(c->count() > 0);
}

namespace {

// Letters without their accents, in lower case: "É" sorts with "e".
QString sortKey(const QString& name) {
    QString key;
    for (const QChar c : name.normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing)
            key += c.toLower();
    return key;
}

} // namespace

QString frmBlock::languageCaption(const LanguageItem& l) {
    const QString native = QString::fromStdString(l.nativeName);
    const QString western = QString::fromStdString(l.westernName);
    if (native.isEmpty() || native == western)
        return western;
    return native + QString::fromUtf8(" \u2013 ") + western;
}

std::vector<LanguageItem> frmBlock::sortedLanguages(std::vector<LanguageItem> languages) {
    // Customers look for their language by its own name.
    std::stable_sort(
        languages.begin(), languages.end(), [](const LanguageItem& a, const LanguageItem& b) {
            const auto name = [](const LanguageItem& l) {
                return sortKey(
                    QString::fromStdString(l.nativeName.empty() ? l.westernName : l.nativeName));
            };
            return name(a) < name(b);
        });
    return languages;
}

void frmBlock::selectLanguage(int entry) {
    auto* c = m_ui->cmbLanguage;
    const int index = c->findData(entry);
    if (index < 0 || index == c->currentIndex())
        return;
    c->setCurrentIndex(index);
    if (!m_languageTable.empty())
        showLanguageFlags(*c, *m_ui->imgFlags, m_languageTable);
}

// ---- usage options and filters ----

void frmBlock::optCard_Click() {
    auto& u = *m_ui;
    u.fraCardNumber->show();
    u.fraClient->hide();
    u.cmdCxn->setIcon(drawPicture(Picture::UsageCard, 64));
    updateCxnEnabled();
    u.txtCardNum->setFocus();
}

void frmBlock::OptClient_Click() {
    auto& u = *m_ui;
    u.fraCardNumber->hide();
    u.fraClient->show();
    u.cmdCxn->setIcon(drawPicture(Picture::UsageClient, 64));
    updateCxnEnabled();
    u.txtLogin->setFocus();
}

void frmBlock::optSelfService_Click() {
    auto& u = *m_ui;
    u.fraCardNumber->hide();
    u.fraClient->hide();
    u.cmdCxn->setIcon(drawPicture(Picture::UsageSelf, 64));
    updateCxnEnabled();
}

bool frmBlock::filterDigits(QString& text, int& caret) {
    QString out;
    int newCaret = caret;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9')
            out += text[i];
        else if (i < caret)
            --newCaret;
    }
    const bool clean = out.size() == text.size();
    text = out;
    caret = std::clamp(newCaret, 0, static_cast<int>(text.size()));
    return clean;
}

bool frmBlock::filterLogin(QString& text, int& caret) {
    bool clean = true;
    for (const QChar c : kIllegalLogin) {
        const int before = static_cast<int>(text.size());
        text.remove(c);
        if (text.size() != before) {
            clean = false;
            caret -= before - static_cast<int>(text.size());
        }
    }
    caret = std::clamp(caret, 0, static_cast<int>(text.size()));
    return clean;
}

QString frmBlock::illegalLoginCharacters() {
    QString shown;
    for (const QChar c : kIllegalLogin) {
        if (!shown.isEmpty())
            shown += ' ';
        shown += c;
    }
    return shown;
}

bool frmBlock::isValidCardNumber(const QString& text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < '0' || c > '9')
            return false;
    int i = 0;
    while (i < text.size() && text[i] == '0')
        ++i;
    return text.size() - i == 6;
}

void frmBlock::txtCardNum_Change() {
    if (m_filtering)
        return;
    auto* box = m_ui->txtCardNum;
    QString text = box->text();
    int caret = box->cursorPosition();
    const bool clean = filterDigits(text, caret);
    if (!clean) {
        m_filtering = true;
        box->setText(text);
        box->setCursorPosition(caret);
        m_filtering = false;
    }
    m_ui->txtCardNumToolTip->setVisible(!clean);
    updateCxnEnabled();
}

void frmBlock::txtLogin_Change() {
    if (m_filtering)
        return;
    auto* box = m_ui->txtLogin;
    QString text = box->text();
    int caret = box->cursorPosition();
    const bool clean = filterLogin(text, caret);
    if (!clean) {
        m_filtering = true;
        box->setText(text);
        box->setCursorPosition(caret);
        m_filtering = false;
    }
    m_ui->txtLoginToolTip->setVisible(!clean);
    updateCxnEnabled();
}

bool frmBlock::loginRuleAllowsCxn() const {
    const auto& u = *m_ui;
    if (!m_connected)
        return false;
    if (u.optSelfService->isChecked())
        return true;
    if (u.optCard->isChecked())
        return !u.txtCardNum->text().isEmpty();
    if (u.OptClient->isChecked())
        return !u.txtLogin->text().isEmpty();
    return false;
}

void frmBlock::updateCxnEnabled() {
    if (m_tmrActivateTimeout->enabled() || !m_ui->txtCardNum->isEnabled())
        return; // the wait for an answer keeps the button off
    m_ui->cmdCxn->setEnabled(loginRuleAllowsCxn());
}

// ---- the login request ----

void frmBlock::cmdCxn_Click() {
    auto& u = *m_ui;
    int type = 0;
    std::string id;
    std::string password;
    if (u.optCard->isChecked()) {
        const QString card = u.txtCardNum->text();
        if (card.isEmpty())
            return;
        if (!isValidCardNumber(card)) {
            u.txtCardNum->setFocus();
            m_host.showInvalidCardNumber();
            return;
        }
        type = kTypeCard;
        id = card.toStdString();
    } else if (u.OptClient->isChecked()) {
        const QString login = u.txtLogin->text();
        if (login.isEmpty())
            return;
        type = kTypeClient;
        id = login.toLower().toStdString();
        password = u.txtPassword->text().toStdString();
    } else if (u.optSelfService->isChecked()) {
        type = kTypeSelfService;
    } else {
        return;
    }
    const int mode = u.optConnected->isChecked() ? kModeConnected : kModeDisconnected;
    m_host.subStartConnexion(type, mode, id, password);
}

void frmBlock::beginConnexionWait() {
    auto& u = *m_ui;
    u.cmdCxn->setEnabled(false);
    u.txtCardNum->setEnabled(false);
    u.txtLogin->setEnabled(false);
    u.txtPassword->setEnabled(false);
    setCursor(Qt::WaitCursor);
}

void frmBlock::endConnexionWait() {
    m_tmrActivateTimeout->start(5000);
}

void frmBlock::tmrActivateTimeout_Timer() {
    auto& u = *m_ui;
    m_tmrActivateTimeout->stop();
    u.txtCardNum->setEnabled(true);
    u.txtLogin->setEnabled(true);
    u.txtPassword->setEnabled(true);
    const bool ok =
        m_connected && ((u.fraCardNumber->isVisibleTo(this) && !u.txtCardNum->text().isEmpty()) ||
                        (u.fraClient->isVisibleTo(this) && !u.txtLogin->text().isEmpty()) ||
                        u.optSelfService->isChecked());
    u.cmdCxn->setEnabled(ok);
    if (u.fraCardNumber->isVisibleTo(this))
        u.txtCardNum->setFocus();
    else if (u.fraClient->isVisibleTo(this))
        u.txtLogin->setFocus();
    unsetCursor();
}

void frmBlock::clearAfterRefusal() {
    auto& u = *m_ui;
    if (u.optCard->isChecked()) {
        u.txtCardNum->clear();
        u.txtCardNum->setFocus();
    } else if (u.OptClient->isChecked()) {
        u.txtLogin->clear();
        u.txtPassword->clear();
        u.txtLogin->setFocus();
    }
}

// ---- connection indicator ----

void frmBlock::setServerConnected(bool connected) {
    m_connected = connected;
    auto& u = *m_ui;
    const int px = std::max(12, static_cast<int>(18 * (m_scale > 0 ? m_scale : 1)));
    if (!connected) {
        u.cmdCxn->setEnabled(false);
        u.cmdReCnx->setEnabled(false);
        if (!m_tmrNoServCnx->enabled()) {
            m_blinkPhase = false;
            u.imgNoServCnx->setPixmap(drawPicture(Picture::CnxSearching1, px));
            m_tmrNoServCnx->start(500);
        }
    } else {
        m_tmrNoServCnx->stop();
        u.imgNoServCnx->setPixmap(drawPicture(Picture::CnxConnected, px));
        u.cmdReCnx->setEnabled(true);
        if (!m_tmrActivateTimeout->enabled() && u.txtCardNum->isEnabled()) {
            const bool ok =
                (u.fraCardNumber->isVisibleTo(this) && !u.txtCardNum->text().isEmpty()) ||
                (u.fraClient->isVisibleTo(this) && !u.txtLogin->text().isEmpty()) ||
                u.optSelfService->isChecked();
            u.cmdCxn->setEnabled(ok);
        }
    }
    updateIndicatorTip();
    const bool lostShown = !m_ui->lblServerLost->isHidden();
    updateServerLost();
    if (lostShown != !m_ui->lblServerLost->isHidden())
        fitPanel();
}

void frmBlock::updateIndicatorTip() {
    m_ui->fraNoServCnx->setToolTip(m_text(10338) + " - " + m_text(m_connected ? 10213 : 10336));
    m_ui->imgNoServCnx->setToolTip(m_ui->fraNoServCnx->toolTip());
}

void frmBlock::tmrNoServCnx_Timer() {
    m_blinkPhase = !m_blinkPhase;
    const int px = std::max(12, static_cast<int>(18 * (m_scale > 0 ? m_scale : 1)));
    m_ui->imgNoServCnx->setPixmap(
        drawPicture(m_blinkPhase ? Picture::CnxSearching2 : Picture::CnxSearching1, px));
}

// ---- countdowns ----

void frmBlock::startCloseSessionCountdown(int64_t seconds) {
    m_sessionExpiry = seconds;
    m_ui->lblCloseSessionWarning->setText(m_text(10219) +
                                          QString::fromStdString(m_host.funFormatTime(seconds)));
    m_tmrCloseSession->start(1000);
}

void frmBlock::stopCloseSessionCountdown() {
    m_tmrCloseSession->stop();
}
bool frmBlock::closeSessionCountdownRunning() const {
    return m_tmrCloseSession->enabled();
}

void frmBlock::tmrCloseSession_Timer() {
    m_sessionExpiry -= 1;
    m_ui->lblCloseSessionWarning->setText(
        m_text(10219) +
        QString::fromStdString(m_host.funFormatTime(std::max<int64_t>(0, m_sessionExpiry))));
    if (m_sessionExpiry <= 0) {
        m_tmrCloseSession->stop();
        m_host.unloadDeactivationPasswordDialog();
        m_host.funStopSession(false);
        m_host.subShowBlockScreen();
    }
}

void frmBlock::startUnblockCountdown(int64_t seconds) {
    m_unblockCountdown = seconds;
    m_tmrUnblock->start(1000);
}

void frmBlock::stopUnblockCountdown() {
    m_tmrUnblock->stop();
}

void frmBlock::applyConnectRule() {
    auto& u = *m_ui;
    const bool ok =
        m_connected && ((u.fraCardNumber->isVisibleTo(this) && !u.txtCardNum->text().isEmpty()) ||
                        (u.fraClient->isVisibleTo(this) && !u.txtLogin->text().isEmpty()) ||
                        u.optSelfService->isChecked());
    u.cmdCxn->setEnabled(ok);
}

void frmBlock::tmrUnblock_Timer() {
    m_unblockCountdown -= 1;
    // Compared as a number rather than as "Nn:Ss" text: a delay of an hour or more would
    // otherwise end early at every whole hour.
    if (m_unblockCountdown <= 0) {
        m_tmrUnblock->stop();
        m_host.subActivate();
        m_host.subShowBlockScreen();
    }
}

// ---- deactivation gesture ----

void frmBlock::setTopmost(bool topmost) {
    if (m_noLockdown || windowFlags().testFlag(Qt::WindowStaysOnTopHint) == topmost)
        return;
    const bool visible = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, topmost);
    if (visible)
        show(); // changing the flags hides a window
}

void frmBlock::deactivationGesture() {
    // A dialog must be able to appear above the lock screen.
    setTopmost(false);
    if (m_host.deactivationPasswordSet())
        m_host.subDeactivationPassword();
    else
        m_host.subDeactivate();
    setTopmost(true);
}

static bool exactlyCtrlAlt(Qt::KeyboardModifiers m) {
    return (m & (Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier)) ==
           (Qt::ControlModifier | Qt::AltModifier);
}

QPushButton* frmBlock::defaultButton() const {
    const auto& u = *m_ui;
    for (QPushButton* b : {u.cmdCxn, u.cmdReCnx, u.cmdUnPause})
        if (b->isVisibleTo(this))
            return b;
    return nullptr;
}

void frmBlock::keyPressEvent(QKeyEvent* e) {
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    if (enter && exactlyCtrlAlt(e->modifiers())) {
        deactivationGesture();
        return;
    }
    // Buttons of a plain window are never default: Enter presses the focused button, else the
    // frame's main one (a text box passes Enter on to us).
    if (enter && (e->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        QPushButton* b = focused && focused->isVisible() ? focused : defaultButton();
        if (b && b->isEnabled() && b->isVisible())
            b->click();
        return;
    }
    QWidget::keyPressEvent(e);
}

bool frmBlock::eventFilter(QObject* watched, QEvent* e) {
    auto& u = *m_ui;
    switch (e->type()) {
    case QEvent::Close:
        // A cover of another screen: the window manager's close is refused as for the lock.
        if (e->spontaneous() && watched->objectName() == QLatin1String("frmBlockCover")) {
            e->ignore();
            return true;
        }
        break;
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(e);
        if ((watched == u.picLogo || watched == u.imgFollowServer) &&
            me->button() == Qt::LeftButton && exactlyCtrlAlt(me->modifiers())) {
            deactivationGesture();
            return true;
        }
        break;
    }
    case QEvent::KeyPress: {
        auto* ke = static_cast<QKeyEvent*>(e);
        if ((ke->key() == Qt::Key_Return || ke->key() == Qt::Key_Enter) &&
            exactlyCtrlAlt(ke->modifiers())) {
            deactivationGesture();
            return true;
        }
        break;
    }
    case QEvent::FocusIn:
        if (auto* le = qobject_cast<QLineEdit*>(watched))
            QMetaObject::invokeMethod(le, &QLineEdit::selectAll, Qt::QueuedConnection);
        break;
    case QEvent::FocusOut:
        if (watched == u.txtCardNum)
            u.txtCardNumToolTip->hide();
        else if (watched == u.txtLogin)
            u.txtLoginToolTip->hide();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, e);
}

// ---- layout ----

void frmBlock::applyScale() {
    const double scale = themeScale(screen() ? screen()->size() : size());
    auto& u = *m_ui;
    if (scale != m_scale) {
        m_scale = scale;
        applyTheme(this, scale);
        const int mx = static_cast<int>(36 * scale);
        // The logo row is always shown: it gives the panel its least width, and it spans a
        // wider panel so that the logo stays centred.
        u.picLogo->setMinimumWidth(static_cast<int>(640 * scale) - 2 * mx);
        u.fraForm->layout()->setContentsMargins(mx, static_cast<int>(14 * scale), mx,
                                                static_cast<int>(16 * scale));
        u.fraForm->layout()->setSpacing(static_cast<int>(8 * scale));
        const int icon = static_cast<int>(22 * scale);
        u.cmdCxn->setIconSize(QSize(icon, icon));
        if (!m_messageFile.empty())
            setMessageFile(m_messageFile);
        setServerConnected(m_connected);
    }
    const int logo = static_cast<int>(72 * scale);
    if (!m_logo.isNull())
        u.picLogo->setPixmap(
            m_logo.scaled(logo * 3, logo, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    else
        u.picLogo->setPixmap(drawPicture(Picture::TrayActive, logo));
}

void frmBlock::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    applyScale();
    fitPanel();
    placeFollowedScreen();
}

void frmBlock::placeFollowedScreen() {
    auto& u = *m_ui;
    // Below the header, which keeps the language list within reach.
    if (layout())
        layout()->activate();
    const int top = u.fraHeader->isVisibleTo(this) ? u.fraHeader->geometry().bottom() + 1 : 0;
    u.fraFollowServer->setGeometry(rect().adjusted(0, top, 0, 0));
    u.imgFollowServer->setGeometry(u.fraFollowServer->rect());
}

void frmBlock::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    // The lockdown finds the lock windows by this mark (kept on all desktops, above).
    if (QWindow* w = windowHandle())
        w->setProperty(kLockScreenProperty, 1);
    coverOtherScreens(true);
}

void frmBlock::closeEvent(QCloseEvent* e) {
    // Alt+F4 or the window manager's close: the lock screen goes only when the client says.
    if (e->spontaneous())
        e->ignore();
    else
        QWidget::closeEvent(e);
}

void frmBlock::hideEvent(QHideEvent* e) {
    QWidget::hideEvent(e);
    coverOtherScreens(false);
}

void frmBlock::coverOtherScreens(bool cover) {
    for (auto& w : m_covers)
        if (w)
            w->deleteLater();
    m_covers.clear();
    if (!cover || !qGuiApp)
        return;
    QScreen* mine = screen();
    for (QScreen* s : QGuiApplication::screens()) {
        if (s == mine)
            continue;
        auto* w =
            new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint |
                                     (m_noLockdown ? Qt::WindowType(0) : Qt::WindowStaysOnTopHint));
        w->setObjectName("frmBlockCover");
        w->setAttribute(Qt::WA_DeleteOnClose);
        w->setStyleSheet("background: #0b1220;");
        w->setGeometry(s->geometry());
        w->installEventFilter(this);
        w->show();
        if (QWindow* h = w->windowHandle())
            h->setProperty(kLockScreenProperty, 2);
        m_covers.emplace_back(w);
    }
}

} // namespace tlv
