#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace tlv::gallery {

struct Options {
    std::string language = "en"; // two-letter code; "en" is the built-in table
    std::string langDir;         // the packs, tlvcli_XX.po
    std::string docsDir;         // the message documents XX_*.rtf and logo.png
};

struct Shot {
    QString name;              // "frmBlock_2_card", "frmSetupWizard_3"
    QWidget* window = nullptr; // the window as the program shows it; alive during the call
    QImage image;              // the window's own pixels
    QImage picture;            // the window where the user sees it (a desktop, the lock screen)
};
using Sink = std::function<void(const Shot&)>;

// Qt's offscreen platform with one screen of this size, whatever QT_QPA_PLATFORM said before;
// the configuration file is written to configPath. Call before the QApplication exists.
bool useOffscreenScreen(const QSize& size, const QString& configPath);

// "en" and the code of every pack in langDir, sorted.
std::vector<std::string> languages(const std::string& langDir);

// Every form and dialog of the client in each of its states and pages, in one language, laid
// out and placed by the forms' own code on the primary screen. Returns the number of shots.
int render(const Options& options, const Sink& sink);

} // namespace tlv::gallery
