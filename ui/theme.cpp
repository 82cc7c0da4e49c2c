#include "ui/theme.h"

#include <QFile>
#include <QGuiApplication>
#include <QLayout>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QScreen>
#include <QSize>
#include <QWidget>

#include <algorithm>
#include <cmath>

static void initThemeResource() {
    Q_INIT_RESOURCE(forms);
}

namespace tlv {

double themeScale(const QSize& screen) {
    if (screen.height() <= 0)
        return 1.0;
    // 1024x768 keeps the base size; 1920x1080 grows by the height ratio (about 1.4).
    return std::clamp(screen.height() / 768.0, 0.78, 2.5);
}

QString themeStyleSheet(double scale) {
    static const bool kLoaded = [] {
        initThemeResource();
        return true;
    }();
    (void)kLoaded;
    QFile f(":/forms/theme.qss");
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QString qss = QString::fromUtf8(f.readAll());
    static const QRegularExpression kToken("@(\\d+)");
    QString out;
    out.reserve(qss.size());
    qsizetype last = 0;
    for (auto it = kToken.globalMatch(qss); it.hasNext();) {
        const auto m = it.next();
        out += qss.mid(last, m.capturedStart() - last);
        const int px = std::max(1, static_cast<int>(std::lround(m.captured(1).toInt() * scale)));
        out += QString::number(px) + "px";
        last = m.capturedEnd();
    }
    out += qss.mid(last);
    return out;
}

void applyTheme(QWidget* w, double scale) {
    w->setStyleSheet(themeStyleSheet(scale));
}

double primaryScreenScale() {
    const QScreen* s = QGuiApplication::primaryScreen();
    return s ? themeScale(s->size()) : 1.0;
}

void settleLayout(QWidget* w) {
    // updateGeometry() drops a widget's cached hints and marks its parent's layout dirty, at
    // once and whether or not the window is shown.
    for (QWidget* c : w->findChildren<QWidget*>()) {
        c->updateGeometry();
        if (QLayout* l = c->layout())
            l->invalidate();
    }
    if (QLayout* l = w->layout()) {
        l->invalidate();
        l->activate();
    }
}

void adjustToContents(QWidget* w) {
    settleLayout(w);
    w->adjustSize();
    // adjustSize() keeps a window within two thirds of its screen; its layout would then grow
    // it to its minimum once shown, past where it was placed.
    w->resize(w->size().expandedTo(w->minimumSize()).expandedTo(w->minimumSizeHint()));
}

void refitWindow(QWidget* w) {
    const bool shown = w->isVisible();
    const QPoint centre = w->frameGeometry().center();
    adjustToContents(w);
    if (!shown)
        return;
    w->move(w->pos() + centre - w->frameGeometry().center());
    if (const QScreen* s = w->screen())
        keepInside(w, s->availableGeometry());
}

void keepInside(QWidget* w, const QRect& rect) {
    if (rect.isEmpty())
        return;
    // A window's position is that of its frame (title bar and borders included).
    const QRect frame = w->frameGeometry();
    const int x = std::max(rect.left(), std::min(frame.left(), rect.right() + 1 - frame.width()));
    const int y = std::max(rect.top(), std::min(frame.top(), rect.bottom() + 1 - frame.height()));
    w->move(x, y);
}

namespace {

void dot(QPainter& p, int size, const QColor& fill, const QColor& ring) {
    const double r = size * 0.32;
    const QPointF c(size / 2.0, size / 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(ring);
    p.drawEllipse(c, r * 1.45, r * 1.45);
    p.setBrush(fill);
    p.drawEllipse(c, r, r);
}

void badge(QPainter& p, int size, const QColor& a, const QColor& b) {
    QLinearGradient g(0, 0, size, size);
    g.setColorAt(0, a);
    g.setColorAt(1, b);
    QPainterPath path;
    path.addRoundedRect(QRectF(size * 0.04, size * 0.04, size * 0.92, size * 0.92), size * 0.22,
                        size * 0.22);
    p.fillPath(path, g);
    const QColor white(255, 255, 255);
    QPainterPath cup;
    const double s = size / 256.0;
    cup.moveTo(62 * s, 118 * s);
    cup.lineTo(170 * s, 118 * s);
    cup.cubicTo(170 * s, 170 * s, 150 * s, 196 * s, 116 * s, 196 * s);
    cup.cubicTo(82 * s, 196 * s, 62 * s, 170 * s, 62 * s, 118 * s);
    p.fillPath(cup, white);
    p.setPen(QPen(white, std::max(1.0, 14 * s), Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(152 * s, 128 * s, 44 * s, 40 * s), -90 * 16, 180 * 16);
    p.drawLine(QPointF(56 * s, 214 * s), QPointF(176 * s, 214 * s));
    const QPointF c(116 * s, 104 * s);
    for (int i = 0; i < 2; ++i) {
        const double r = (26 + i * 26) * s;
        p.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 50 * 16, 80 * 16);
    }
}

} // namespace

QPixmap drawPicture(Picture pic, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const double s = size;
    const QColor ink(232, 237, 243);
    QPen pen(ink, std::max(1.5, s * 0.08), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (pic) {
    case Picture::CnxSearching1:
        dot(p, size, QColor(229, 72, 77), QColor(229, 72, 77, 70));
        break;
    case Picture::CnxSearching2:
        dot(p, size, QColor(120, 40, 45), QColor(229, 72, 77, 25));
        break;
    case Picture::CnxConnected:
        dot(p, size, QColor(48, 196, 120), QColor(48, 196, 120, 60));
        break;
    case Picture::UsageCard:
        p.setPen(pen);
        p.drawRoundedRect(QRectF(s * 0.12, s * 0.25, s * 0.76, s * 0.5), s * 0.08, s * 0.08);
        p.drawLine(QPointF(s * 0.12, s * 0.4), QPointF(s * 0.88, s * 0.4));
        p.drawLine(QPointF(s * 0.24, s * 0.6), QPointF(s * 0.45, s * 0.6));
        break;
    case Picture::UsageClient:
        p.setPen(pen);
        p.drawEllipse(QPointF(s * 0.5, s * 0.36), s * 0.16, s * 0.16);
        p.drawArc(QRectF(s * 0.2, s * 0.58, s * 0.6, s * 0.5), 0, 180 * 16);
        break;
    case Picture::UsageSelf:
        p.setPen(pen);
        p.drawEllipse(QPointF(s * 0.5, s * 0.5), s * 0.34, s * 0.34);
        p.drawLine(QPointF(s * 0.5, s * 0.5), QPointF(s * 0.5, s * 0.28));
        p.drawLine(QPointF(s * 0.5, s * 0.5), QPointF(s * 0.66, s * 0.6));
        break;
    case Picture::TrayActive:
        badge(p, size, QColor(46, 170, 220), QColor(28, 102, 170));
        break;
    case Picture::TrayInactive:
        badge(p, size, QColor(120, 130, 145), QColor(70, 78, 92));
        break;
    case Picture::MsgInfo:
    case Picture::MsgQuestion: {
        p.setPen(Qt::NoPen);
        p.setBrush(pic == Picture::MsgInfo ? QColor(31, 159, 214) : QColor(255, 196, 87));
        p.drawEllipse(QRectF(s * 0.04, s * 0.04, s * 0.92, s * 0.92));
        QFont f("DejaVu Sans");
        f.setPixelSize(static_cast<int>(s * 0.62));
        f.setBold(true);
        p.setFont(f);
        p.setPen(pic == Picture::MsgInfo ? QColor(255, 255, 255) : QColor(27, 19, 0));
        // A glyph, not a text: the two icons are an "i" and a question mark.
        p.drawText(QRectF(0, 0, s, s), Qt::AlignCenter, pic == Picture::MsgInfo ? "i" : "?");
        break;
    }
    case Picture::ChevronUp:
    case Picture::ChevronDown: {
        p.setPen(pen);
        const double y0 = pic == Picture::ChevronUp ? 0.62 : 0.38;
        const double y1 = pic == Picture::ChevronUp ? 0.38 : 0.62;
        p.drawPolyline(QPolygonF(
            {QPointF(s * 0.25, s * y0), QPointF(s * 0.5, s * y1), QPointF(s * 0.75, s * y0)}));
        break;
    }
    case Picture::Language:
        p.setPen(QPen(QColor(143, 163, 189), std::max(1.0, s * 0.07)));
        p.drawEllipse(QPointF(s / 2, s / 2), s * 0.4, s * 0.4);
        p.drawEllipse(QRectF(s * 0.32, s * 0.1, s * 0.36, s * 0.8));
        p.drawLine(QPointF(s * 0.1, s / 2), QPointF(s * 0.9, s / 2));
        break;
    }
    return pm;
}

} // namespace tlv
