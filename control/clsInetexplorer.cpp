#include "control/clsInetexplorer.h"

#include "control/browser_classes.h"
#include "core/error.h"
#include "core/log.h"

namespace tlv {

clsInetexplorer::clsInetexplorer(WindowSystem& windows, BrowserAccessibility& accessibility,
                                 Logger& log)
    : m_windows(windows), m_accessibility(accessibility), m_log(log) {}

clsInetexplorer::~clsInetexplorer() {
    m_items.clear();
}

const clsInetexplorer::Item& clsInetexplorer::item(int index) const {
    if (index < 1 || index > Count())
        throw TlvError(kErrSubscript, "Subscript out of range");
    return m_items[static_cast<size_t>(index - 1)];
}

void clsInetexplorer::NavigateTo(int index, const std::string& address) {
    try {
        const Item& it = item(index);
        if (it.hWndEdit != 0)
            m_accessibility.navigate(it.window, address);
    } catch (const std::exception& e) {
        m_log.subLogError("InetExplorer.NavigateTo", e);
    }
}

uint64_t clsInetexplorer::ItemhWnd(int index) {
    try {
        return item(index).hWnd;
    } catch (const std::exception& e) {
        m_log.subLogError("InetExplorer::ItemhWnd", e);
        return 0;
    }
}

std::string clsInetexplorer::ItemCaption(int index) {
    try {
        return item(index).Caption;
    } catch (const std::exception& e) {
        m_log.subLogError("InetExplorer::ItemCaption", e);
        return {};
    }
}

std::string clsInetexplorer::ItemURL(int index) {
    try {
        return item(index).URL;
    } catch (const std::exception& e) {
        m_log.subLogError("InetExplorer::ItemURL", e);
        return {};
    }
}

void clsInetexplorer::Refresh() {
    m_items.clear();
    try {
        for (const WindowEntry& w : m_windows.topLevelWindows()) {
            if (!w.visible)
                continue;
            const BrowserKind* kind = browserOfWindow(w.wmInstance, w.wmClass);
            if (!kind)
                continue;
            // A window whose address field cannot be read is not listed.
            auto url = m_accessibility.readAddress(w);
            if (!url)
                continue;
            m_items.push_back(
                {w.id, w.id, browserCaption(*kind, w.title), normalizeAddress(*url), w});
        }
        // What changed since is read in the background, for the next pass.
        m_accessibility.refresh();
    } catch (const std::exception& e) {
        m_log.subLogError("InetExplorer::Refresh", e);
    }
}

} // namespace tlv
