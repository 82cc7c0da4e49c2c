#include "platform/qt/qt_web_browser.h"

#include <QProcess>
#include <QString>
#include <QStringList>

namespace tlv {

bool XdgWebBrowser::open(const std::string& address) {
    // Only web addresses: the handler would also run local files and other schemes.
    const QString url = QString::fromStdString(address);
    if (!url.startsWith("http://") && !url.startsWith("https://"))
        return false;
    return QProcess::startDetached("xdg-open", QStringList{url}, "/");
}

} // namespace tlv
