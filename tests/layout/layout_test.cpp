// The forms as rendered: every text readable against what it is drawn on, nothing clipped,
// every window on the screen. Run once per screen size: test_layout --size 1366x768.
#include "tools/tlvshots/gallery.h"
#include "ui/frmBlock.h"
#include "ui_frmBlock.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

namespace tlv {
namespace {

QSize g_screen(1366, 768);

double channel(int c) {
    const double v = c / 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}
double luminance(QRgb c) {
    return 0.2126 * channel(qRed(c)) + 0.7152 * channel(qGreen(c)) + 0.0722 * channel(qBlue(c));
}
double contrast(QRgb a, QRgb b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

struct Measure {
    QRgb background = 0;
    QRgb text = 0;
    double ratio = 1;
    int inked = 0; // pixels that differ visibly from the background
};

// The dominant colour of the rect is what the text is drawn on; the pixel farthest from it is
// the text's own colour (the core of a stroke, where anti-aliasing does not blend).
Measure measure(const QImage& img, QRect r) {
    Measure m;
    r &= img.rect();
    if (r.isEmpty())
        return m;
    std::map<QRgb, int> counts;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x)
            ++counts[line[x] & 0xFCFCFC];
    }
    const auto top =
        std::max_element(counts.begin(), counts.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; });
    m.background = top->first | 0xFF000000;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x) {
            const double c = contrast(line[x], m.background);
            if (c > 1.5)
                ++m.inked;
            if (c > m.ratio) {
                m.ratio = c;
                m.text = line[x];
            }
        }
    }
    return m;
}

QString describe(QWidget* w) {
    QString name = w->objectName();
    if (name.isEmpty())
        name = w->metaObject()->className();
    return name;
}

bool inScrolledContent(QWidget* w, QWidget* window) {
    for (QWidget* p = w; p && p != window; p = p->parentWidget())
        if (p->property("scrolling").toBool() ||
            qobject_cast<QAbstractScrollArea*>(p->parentWidget() ? p->parentWidget() : nullptr))
            return true;
    return false;
}

bool managedBy(const QLayout* l, const QWidget* w) {
    for (int i = 0; l && i < l->count(); ++i) {
        QLayoutItem* item = l->itemAt(i);
        if (item->widget() == w || (item->layout() && managedBy(item->layout(), w)))
            return true;
    }
    return false;
}

class Checker {
public:
    Checker(const gallery::Shot& shot, std::vector<std::string>& faults)
        : m_shot(shot), m_faults(faults),
          m_image(shot.image.convertToFormat(QImage::Format_RGB32)) {}

    void run() {
        windowOnScreen();
        for (QWidget* w : m_shot.window->findChildren<QWidget*>())
            if (w->isVisible() && w->window() == m_shot.window)
                widget(w);
        if (auto* menu = qobject_cast<QMenu*>(m_shot.window))
            for (QAction* a : menu->actions())
                if (a->isVisible() && !a->isSeparator())
                    readable(menu, menu->actionGeometry(a).adjusted(6, 2, -6, -2), a->text());
        if (auto* view = m_shot.window->findChild<QAbstractItemView*>(); view && view->isVisible())
            for (int row = 0; row < view->model()->rowCount(); ++row) {
                const QModelIndex i = view->model()->index(row, 0);
                const QRect r = view->visualRect(i);
                if (r.isValid() && view->viewport()->rect().contains(r))
                    readable(view->viewport(), r.adjusted(r.height() + 6, 1, -2, -1),
                             i.data().toString());
            }
    }

private:
    void fault(const QString& what) {
        m_faults.push_back((m_shot.name + ": " + what).toStdString());
    }

    QRect inImage(QWidget* w, const QRect& r) const {
        return QRect(w->mapTo(m_shot.window, r.topLeft()), r.size());
    }

    void windowOnScreen() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = m_shot.window->frameGeometry();
        if (!area.contains(frame))
            fault(QString("window %1,%2 %3x%4 leaves the screen %5x%6")
                      .arg(frame.x())
                      .arg(frame.y())
                      .arg(frame.width())
                      .arg(frame.height())
                      .arg(area.width())
                      .arg(area.height()));
    }

    void readable(QWidget* w, const QRect& r, const QString& text) {
        const Measure m = measure(m_image, inImage(w, r));
        if (m.inked < 3)
            fault(describe(w) + " \"" + text + "\" is not drawn");
        else if (m.ratio < 4.5)
            fault(QString("%1 \"%2\": contrast %3 (#%4 on #%5)")
                      .arg(describe(w), text)
                      .arg(m.ratio, 0, 'f', 2)
                      .arg(m.text & 0xFFFFFF, 6, 16, QChar('0'))
                      .arg(m.background & 0xFFFFFF, 6, 16, QChar('0')));
    }

    void fits(QWidget* w, const QString& text) {
        const QSize need = w->minimumSizeHint();
        bool clipped = w->width() + 1 < need.width();
        if (w->hasHeightForWidth())
            clipped = clipped || w->height() + 1 < w->heightForWidth(w->width());
        else
            clipped = clipped || w->height() + 1 < need.height();
        if (auto* l = qobject_cast<QLabel*>(w);
            l && !l->wordWrap() && l->textFormat() != Qt::RichText && !Qt::mightBeRichText(text)) {
            const QFontMetrics fm(l->font());
            int widest = 0;
            for (const QString& line : text.split('\n'))
                widest = std::max(widest, fm.horizontalAdvance(line));
            clipped = clipped || widest > l->contentsRect().width() + 1;
        }
        if (clipped)
            fault(QString("%1 \"%2\" clipped: %3x%4 for %5x%6")
                      .arg(describe(w), text)
                      .arg(w->width())
                      .arg(w->height())
                      .arg(need.width())
                      .arg(need.height()));
        // Inside every parent up to the window.
        QRect r = w->rect();
        for (QWidget* c = w; c != m_shot.window; c = c->parentWidget()) {
            r.translate(c->pos());
            QWidget* p = c->parentWidget();
            if (!p->rect().adjusted(-1, -1, 1, 1).contains(r)) {
                fault(describe(w) + " \"" + text + "\" runs out of " + describe(p));
                break;
            }
            r &= p->rect();
        }
    }

    void widget(QWidget* w) {
        if (inScrolledContent(w, m_shot.window))
            return;
        siblings(w);
        QString text;
        QRect textRect = w->contentsRect();
        if (auto* l = qobject_cast<QLabel*>(w)) {
            if (!l->pixmap().isNull())
                return;
            text = l->text();
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            text = b->text();
            textRect = buttonTextRect(b);
        } else if (auto* e = qobject_cast<QLineEdit*>(w)) {
            if (e->echoMode() != QLineEdit::Normal)
                return;
            text = e->text();
            textRect = e->rect().adjusted(4, 4, -4, -4);
        } else if (auto* c = qobject_cast<QComboBox*>(w)) {
            text = c->currentText();
            textRect = c->rect().adjusted(4, 4, -c->height(), -4);
        } else if (auto* t = qobject_cast<QTextEdit*>(w)) {
            if (t->document()->isEmpty())
                return;
            messageArea(t);
            readable(t->viewport(), t->viewport()->rect(), t->objectName());
            return;
        } else {
            return;
        }
        text.replace('&', QString());
        if (text.trimmed().isEmpty())
            return;
        readable(w, textRect, text);
        if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w))
            fits(w, text);
    }

    QRect buttonTextRect(QAbstractButton* b) const {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        if (qobject_cast<QRadioButton*>(b))
            return b->style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, b);
        if (qobject_cast<QCheckBox*>(b))
            return b->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, b);
        // A push button centres its icon and text together: the text is right of the icon.
        const QFontMetrics fm(b->font());
        const int textWidth = fm.horizontalAdvance(b->text());
        const int iconWidth = b->icon().isNull() ? 0 : b->iconSize().width() + 4;
        const int left = (b->width() - textWidth - iconWidth) / 2 + iconWidth;
        const int height = fm.height();
        return QRect(left - 1, (b->height() - height) / 2, textWidth + 2, height)
            .intersected(b->rect().adjusted(2, 2, -2, -2));
    }

    // Widgets of one layout side by side, never over each other.
    void siblings(QWidget* w) {
        QWidget* p = w->parentWidget();
        if (!p || !p->layout() || !managedBy(p->layout(), w))
            return;
        for (QWidget* o : p->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (o <= w || !o->isVisible() || !managedBy(p->layout(), o))
                continue;
            const QRect overlap = w->geometry() & o->geometry();
            if (overlap.width() > 2 && overlap.height() > 2)
                fault(describe(w) + " overlaps " + describe(o));
        }
    }

    void messageArea(QTextEdit* t) {
        QScrollBar* bar = t->verticalScrollBar();
        const int overflow =
            static_cast<int>(t->document()->size().height()) - t->viewport()->height();
        if (!bar->isVisible()) {
            if (overflow > 1)
                fault(describe(t) + QString(" cuts %1 px of its text").arg(overflow));
            return;
        }
        if (t->objectName() == "rtbMessage" && g_screen.height() >= 768)
            fault("the message needs a scroll bar");
        // A scroll bar of the theme: no light default track.
        const QImage img = m_image.copy(inImage(bar, bar->rect()));
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (luminance(img.pixel(x, y)) > 0.6) {
                    fault(describe(t) + " has a light scroll bar");
                    return;
                }
    }

    const gallery::Shot& m_shot;
    std::vector<std::string>& m_faults;
    QImage m_image;
};

class Layout : public ::testing::TestWithParam<std::string> {};

TEST_P(Layout, EveryFormIsReadableUnclippedAndOnTheScreen) {
    gallery::Options o;
    o.language = GetParam();
    o.langDir = TLVCLI_SOURCE_DATA_DIR "/lang";
    o.docsDir = TLVCLI_SOURCE_DATA_DIR "/docs";
    std::vector<std::string> faults;
    std::map<QString, QRect> panels;
    const int shots = gallery::render(o, [&](const gallery::Shot& s) {
        Checker(s, faults).run();
        if (auto* block = qobject_cast<frmBlock*>(s.window)) {
            auto& u = block->ui();
            panels[s.name] = u.fraForm->geometry();
            // The logo in the middle of the panel, whatever the language widens.
            if (u.picLogo->isVisible()) {
                const QImage img = s.image.convertToFormat(QImage::Format_RGB32);
                const QRect r(u.picLogo->mapTo(block, QPoint()), u.picLogo->size());
                const QRgb bg = img.pixel(r.topLeft() + QPoint(1, 1));
                int left = r.right(), right = r.left();
                for (int y = r.top(); y <= r.bottom(); ++y)
                    for (int x = r.left(); x <= r.right(); ++x)
                        if (contrast(img.pixel(x, y), bg) > 1.3) {
                            left = std::min(left, x);
                            right = std::max(right, x);
                        }
                const QRect panel(u.fraForm->mapTo(block, QPoint()), u.fraForm->size());
                if (right > left && std::abs((left + right) / 2 - panel.center().x()) > 3)
                    faults.push_back(s.name.toStdString() + ": the logo is off the panel's centre");
            }
        }
        // The open language list: dark all round, no light strips.
        if (s.name.endsWith("_languages")) {
            const QImage img = s.image.convertToFormat(QImage::Format_RGB32);
            for (int y : {0, 1, 2, img.height() - 3, img.height() - 2, img.height() - 1})
                for (int x = 0; x < img.width(); ++x)
                    if (luminance(img.pixel(x, y)) > 0.6) {
                        faults.push_back(s.name.toStdString() + ": light strip in the list");
                        y = img.height(), x = img.width();
                    }
        }
    });
    EXPECT_GE(shots, 40);
    // A hint appearing does not move the panel.
    for (const char* usage : {"card", "client"})
        EXPECT_EQ(panels[QString("frmBlock_2_%1").arg(usage)],
                  panels[QString("frmBlock_2_%1_hint").arg(usage)])
            << usage;
    for (const std::string& f : faults)
        ADD_FAILURE() << f;
}

INSTANTIATE_TEST_SUITE_P(AllLanguages, Layout,
                         ::testing::ValuesIn(gallery::languages(TLVCLI_SOURCE_DATA_DIR "/lang")),
                         [](const auto& info) { return info.param; });

} // namespace
} // namespace tlv

int main(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
            const QStringList wh = QString(argv[++i]).split('x');
            if (wh.size() == 2)
                tlv::g_screen = QSize(wh[0].toInt(), wh[1].toInt());
            continue;
        }
        args.push_back(argv[i]);
    }
    int n = static_cast<int>(args.size());
    QTemporaryDir config;
    if (!tlv::gallery::useOffscreenScreen(tlv::g_screen, config.filePath("screens.json")))
        return 1;
    QApplication app(n, args.data());
    ::testing::InitGoogleTest(&n, args.data());
    return RUN_ALL_TESTS();
}
