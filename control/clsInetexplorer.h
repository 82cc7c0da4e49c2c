#pragma once

#include "platform/window_system.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tlv {

class Logger;

// The open browser windows whose address can be read, indexed from 1, rebuilt by Refresh.
class clsInetexplorer {
public:
    clsInetexplorer(WindowSystem& windows, BrowserAccessibility& accessibility, Logger& log);
    ~clsInetexplorer();

    void NavigateTo(int index, const std::string& address);
    uint64_t ItemhWnd(int index);
    std::string ItemCaption(int index);
    std::string ItemURL(int index);
    void Refresh();
    int Count() const { return static_cast<int>(m_items.size()); }

private:
    struct Item {
        uint64_t hWnd = 0;
        uint64_t hWndEdit = 0; // non-zero: the address field was found
        std::string Caption;
        std::string URL;
        WindowEntry window;
    };
    const Item& item(int index) const;

    WindowSystem& m_windows;
    BrowserAccessibility& m_accessibility;
    Logger& m_log;
    std::vector<Item> m_items;
};

} // namespace tlv
