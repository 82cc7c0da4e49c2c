#include "ui/rtf/rtf_qt.h"

#include <QFile>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cmath>

namespace tlv::rtf {

namespace {

double luminance(const QColor& c) {
    auto channel = [](double v) {
        v /= 255.0;
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

Qt::Alignment qtAlign(Align a) {
    switch (a) {
    case Align::Center:
        return Qt::AlignHCenter;
    case Align::Right:
        return Qt::AlignRight;
    case Align::Justify:
        return Qt::AlignJustify;
    default:
        return Qt::AlignLeft;
    }
}

constexpr double kTwipsPerPixel = 15.0;

} // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    double la = luminance(a), lb = luminance(b);
    if (la < lb)
        std::swap(la, lb);
    return (la + 0.05) / (lb + 0.05);
}

void fillTextDocument(const Document& doc, QTextDocument& out, const RenderOptions& options) {
    out.clear();
    QTextCursor cursor(&out);
    cursor.beginEditBlock();
    bool first = true;
    for (const Paragraph& p : doc.paragraphs) {
        QTextBlockFormat block;
        block.setAlignment(qtAlign(p.align));
        block.setLeftMargin(p.leftIndentTwips / kTwipsPerPixel);
        block.setRightMargin(p.rightIndentTwips / kTwipsPerPixel);
        block.setTextIndent(p.firstIndentTwips / kTwipsPerPixel);
        block.setTopMargin(p.spaceBeforeTwips / kTwipsPerPixel);
        block.setBottomMargin(p.spaceAfterTwips / kTwipsPerPixel);
        if (first)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block);
        first = false;
        for (const Run& r : p.runs) {
            QTextCharFormat f;
            f.setFontWeight(r.format.bold ? QFont::Bold : QFont::Normal);
            f.setFontItalic(r.format.italic);
            f.setFontUnderline(r.format.underline);
            f.setFontStrikeOut(r.format.strike);
            const QString family = r.format.fontName.empty()
                                       ? options.defaultFamily
                                       : QString::fromStdString(r.format.fontName);
            if (!family.isEmpty())
                f.setFontFamilies({family});
            f.setFontPointSize(std::max(1.0, r.format.halfPoints / 2.0 * options.scale));
            QColor background = options.background;
            if (r.format.background) {
                background =
                    QColor(r.format.background->r, r.format.background->g, r.format.background->b);
                f.setBackground(background);
            }
            QColor color = options.defaultText;
            if (r.format.color)
                color = QColor(r.format.color->r, r.format.color->g, r.format.color->b);
            if (contrastRatio(color, background) < 2.5)
                color =
                    contrastRatio(options.defaultText, background) >= 2.5
                        ? options.defaultText
                        : (luminance(background) > 0.4 ? QColor(0, 0, 0) : QColor(255, 255, 255));
            f.setForeground(color);
            QString text = QString::fromStdString(r.text);
            text.replace(QChar('\n'), QChar(QChar::LineSeparator));
            cursor.insertText(text, f);
        }
    }
    cursor.endEditBlock();
}

bool loadTextDocument(const QString& path, QTextDocument& out, const RenderOptions& options,
                      const Limits& limits) {
    out.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 cap = static_cast<qint64>(limits.maxInputBytes);
    // read(n) sets aside n bytes before it reads: asking for the cap made every small document
    // cost 16 MiB (32 MiB of heap), which the allocator then kept for the life of the process.
    const qint64 size = file.size();
    const QByteArray bytes = file.read(size > 0 ? std::min(cap, size) : cap);
    if (bytes.isEmpty() && file.error() != QFileDevice::NoError)
        return false;
    Limits l = limits;
    Document doc = parse(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), l);
    if (file.size() > cap)
        doc.truncated = true;
    fillTextDocument(doc, out, options);
    return true;
}

} // namespace tlv::rtf
