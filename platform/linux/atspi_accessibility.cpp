#include "platform/linux/atspi_accessibility.h"

#include <atspi/atspi.h>
#include <cstdlib>
#include <functional>

namespace tlv {

namespace {

// Bounds for walking a foreign tree and reading its text.
constexpr int kMaxNodes = 4000;
constexpr int kMaxDepth = 48;
constexpr int kMaxAddressChars = 8192;
constexpr int kXkReturn = 0xff0d;

void clearError(GError*& e) {
    if (e)
        g_error_free(e);
    e = nullptr;
}

std::string nameOf(AtspiAccessible* a) {
    GError* e = nullptr;
    gchar* n = atspi_accessible_get_name(a, &e);
    clearError(e);
    std::string s = n ? n : "";
    g_free(n);
    return s;
}

AtspiRole roleOf(AtspiAccessible* a) {
    GError* e = nullptr;
    const AtspiRole r = atspi_accessible_get_role(a, &e);
    clearError(e);
    return r;
}

bool isEditable(AtspiAccessible* a) {
    AtspiStateSet* s = atspi_accessible_get_state_set(a);
    const bool editable = s && atspi_state_set_contains(s, ATSPI_STATE_EDITABLE);
    if (s)
        g_object_unref(s);
    return editable;
}

// Depth-first: the first editable entry below a tool bar. Returns a new reference.
AtspiAccessible* findAddressField(AtspiAccessible* node, int depth, bool inToolbar, int& budget) {
    if (--budget < 0 || depth > kMaxDepth)
        return nullptr;
    const AtspiRole role = roleOf(node);
    if (inToolbar && (role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_TEXT) && isEditable(node))
        return static_cast<AtspiAccessible*>(g_object_ref(node));
    const bool below = inToolbar || role == ATSPI_ROLE_TOOL_BAR;
    GError* e = nullptr;
    const gint n = atspi_accessible_get_child_count(node, &e);
    clearError(e);
    for (gint i = 0; i < n && budget > 0; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, &e);
        clearError(e);
        if (!child)
            continue;
        AtspiAccessible* found = findAddressField(child, depth + 1, below, budget);
        g_object_unref(child);
        if (found)
            return found;
    }
    return nullptr;
}

std::optional<std::string> textOf(AtspiAccessible* field) {
    AtspiText* text = atspi_accessible_get_text_iface(field);
    if (!text)
        return std::nullopt;
    GError* e = nullptr;
    gint count = atspi_text_get_character_count(text, &e);
    if (e) {
        clearError(e);
        g_object_unref(text);
        return std::nullopt;
    }
    if (count > kMaxAddressChars)
        count = kMaxAddressChars;
    gchar* s = atspi_text_get_text(text, 0, count, &e);
    const bool failed = e != nullptr;
    clearError(e);
    g_object_unref(text);
    if (failed) {
        g_free(s);
        return std::nullopt;
    }
    std::string out = s ? s : "";
    g_free(s);
    return out;
}

} // namespace

AtspiAccessibility::AtspiAccessibility() = default;

AtspiAccessibility::~AtspiAccessibility() {
    for (auto& [id, c] : m_cache)
        if (c.field)
            g_object_unref(static_cast<AtspiAccessible*>(c.field));
    m_cache.clear();
    if (m_state == 1)
        atspi_exit();
}

bool AtspiAccessibility::available() {
    if (m_state == 0) {
        // libatspi needs a session bus to find the accessibility bus; without one there is
        // nothing to read.
        const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
        const char* direct = std::getenv("AT_SPI_BUS_ADDRESS");
        if ((!session || !*session) && (!direct || !*direct)) {
            m_state = -1;
        } else {
            const int rc = atspi_init();
            m_state = (rc == 0 || rc == 1) ? 1 : -1;
            if (m_state == 1)
                atspi_set_timeout(250, 2000); // a hung browser does not hold the client long
        }
    }
    return m_state == 1;
}

void AtspiAccessibility::forget(uint64_t window) {
    auto it = m_cache.find(window);
    if (it == m_cache.end())
        return;
    if (it->second.field)
        g_object_unref(static_cast<AtspiAccessible*>(it->second.field));
    m_cache.erase(it);
}

void* AtspiAccessibility::findField(const WindowEntry& window) {
    if (window.pid <= 0 || !available())
        return nullptr;
    auto cached = m_cache.find(window.id);
    if (cached != m_cache.end()) {
        if (cached->second.pid == window.pid)
            return cached->second.field;
        forget(window.id);
    }
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop)
        return nullptr;
    GError* e = nullptr;
    AtspiAccessible* found = nullptr;
    const gint apps = atspi_accessible_get_child_count(desktop, &e);
    clearError(e);
    for (gint i = 0; i < apps && !found; ++i) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, i, &e);
        clearError(e);
        if (!app)
            continue;
        const guint pid = atspi_accessible_get_process_id(app, &e);
        clearError(e);
        if (static_cast<int>(pid) == window.pid) {
            // The frame of this window: the one named by its title, or the only one.
            const gint frames = atspi_accessible_get_child_count(app, &e);
            clearError(e);
            AtspiAccessible* only = nullptr;
            int frameCount = 0;
            for (gint f = 0; f < frames && !found; ++f) {
                AtspiAccessible* frame = atspi_accessible_get_child_at_index(app, f, &e);
                clearError(e);
                if (!frame)
                    continue;
                const AtspiRole r = roleOf(frame);
                if (r == ATSPI_ROLE_FRAME || r == ATSPI_ROLE_WINDOW) {
                    ++frameCount;
                    if (nameOf(frame) == window.title) {
                        int budget = kMaxNodes;
                        found = findAddressField(frame, 0, false, budget);
                    } else if (!only) {
                        only = static_cast<AtspiAccessible*>(g_object_ref(frame));
                    }
                }
                g_object_unref(frame);
            }
            if (!found && only && frameCount == 1) {
                int budget = kMaxNodes;
                found = findAddressField(only, 0, false, budget);
            }
            if (only)
                g_object_unref(only);
        }
        g_object_unref(app);
    }
    g_object_unref(desktop);
    if (found)
        m_cache[window.id] = {window.pid, found};
    return found;
}

std::optional<std::string> AtspiAccessibility::readAddress(const WindowEntry& window) {
    auto* field = static_cast<AtspiAccessible*>(findField(window));
    if (!field)
        return std::nullopt;
    auto text = textOf(field);
    if (!text) {
        // The field went away (the window was rebuilt): look again next time.
        forget(window.id);
    }
    return text;
}

bool AtspiAccessibility::navigate(const WindowEntry& window, const std::string& address) {
    auto* field = static_cast<AtspiAccessible*>(findField(window));
    if (!field)
        return false;
    AtspiEditableText* edit = atspi_accessible_get_editable_text_iface(field);
    if (!edit)
        return false;
    GError* e = nullptr;
    const bool set = atspi_editable_text_set_text_contents(edit, address.c_str(), &e);
    clearError(e);
    g_object_unref(edit);
    if (!set)
        return false;
    if (AtspiComponent* comp = atspi_accessible_get_component_iface(field)) {
        atspi_component_grab_focus(comp, &e);
        clearError(e);
        g_object_unref(comp);
    }
    const bool pressed = atspi_generate_keyboard_event(kXkReturn, nullptr, ATSPI_KEY_SYM, &e);
    clearError(e);
    return pressed;
}

} // namespace tlv
