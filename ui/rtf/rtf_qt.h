#pragma once

#include "ui/rtf/rtf_reader.h"

#include <QColor>
#include <QString>

class QTextDocument;

namespace tlv::rtf {

struct RenderOptions {
    // The surface the document is shown on: explicit colours that would be unreadable on it
    // (a black text on the dark lock screen) give way to the default text colour.
    QColor background = QColor(255, 255, 255);
    QColor defaultText = QColor(0, 0, 0);
    QString defaultFamily;
    double scale = 1.0; // font sizes are multiplied by this (large screens)
};

void fillTextDocument(const Document& doc, QTextDocument& out, const RenderOptions& options = {});

// Reads a message document from a file, bounded by the reader's input limit. A missing or
// unreadable file leaves an empty document and returns false.
bool loadTextDocument(const QString& path, QTextDocument& out, const RenderOptions& options = {},
                      const Limits& limits = {});

// WCAG contrast ratio of two colours (1 to 21).
double contrastRatio(const QColor& a, const QColor& b);

} // namespace tlv::rtf
