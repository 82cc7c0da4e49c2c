#include "platform/linux/x11_window_system.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/res.h>
#include <xcb/xcb.h>

namespace tlv {

namespace {

// Property values are read up to this many 32-bit units (a bounded read of foreign data).
constexpr uint32_t kMaxPropertyUnits = 1u << 16;

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter>;

} // namespace

X11WindowSystem::X11WindowSystem(std::string displayName) : m_displayName(std::move(displayName)) {}

X11WindowSystem::~X11WindowSystem() {
    if (m_conn)
        xcb_disconnect(m_conn);
}

bool X11WindowSystem::connect() {
    if (m_conn && !xcb_connection_has_error(m_conn))
        return true;
    if (m_conn) {
        xcb_disconnect(m_conn);
        m_conn = nullptr;
        m_atoms.clear();
    }
    int screenNum = 0;
    xcb_connection_t* c =
        xcb_connect(m_displayName.empty() ? nullptr : m_displayName.c_str(), &screenNum);
    if (!c || xcb_connection_has_error(c)) {
        if (c)
            xcb_disconnect(c);
        return false;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNum && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        return false;
    }
    m_conn = c;
    m_root = it.data->root;
    // The resource extension names the process of a window's client, as the kernel saw it.
    m_hasRes = false;
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(c, &xcb_res_id);
    if (res && res->present) {
        auto vc = xcb_res_query_version(c, 1, 2);
        XcbReply<xcb_res_query_version_reply_t> v(xcb_res_query_version_reply(c, vc, nullptr));
        m_hasRes = v && (v->server_major > 1 || (v->server_major == 1 && v->server_minor >= 2));
    }
    m_width = it.data->width_in_pixels;
    m_height = it.data->height_in_pixels;
    return true;
}

uint32_t X11WindowSystem::atom(const char* name) {
    auto found = m_atoms.find(name);
    if (found != m_atoms.end())
        return found->second;
    auto cookie = xcb_intern_atom(m_conn, 0, static_cast<uint16_t>(std::strlen(name)), name);
    XcbReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(m_conn, cookie, nullptr));
    const uint32_t a = r ? r->atom : 0;
    m_atoms[name] = a;
    return a;
}

namespace {

struct Property {
    uint32_t type = 0;
    uint8_t format = 0;
    std::string bytes;
    std::vector<uint32_t> cards() const {
        std::vector<uint32_t> v;
        if (format != 32)
            return v;
        v.resize(bytes.size() / 4);
        std::memcpy(v.data(), bytes.data(), v.size() * 4);
        return v;
    }
};

// A property request sent now, its reply taken later: the requests of a whole window listing
// go out together and cost one round trip instead of one each.
struct PropertyAsk {
    bool sent = false;
    xcb_get_property_cookie_t cookie{};
};

PropertyAsk askProperty(xcb_connection_t* c, uint32_t window, uint32_t prop, uint32_t type) {
    if (!prop)
        return {};
    return {true, xcb_get_property(c, 0, window, prop, type, 0, kMaxPropertyUnits)};
}

Property takeProperty(xcb_connection_t* c, const PropertyAsk& ask) {
    Property p;
    if (!ask.sent)
        return p;
    xcb_generic_error_t* err = nullptr;
    XcbReply<xcb_get_property_reply_t> r(xcb_get_property_reply(c, ask.cookie, &err));
    std::free(err);
    if (!r || r->type == XCB_NONE)
        return p;
    p.type = r->type;
    p.format = r->format;
    const int len = xcb_get_property_value_length(r.get());
    if (len > 0)
        p.bytes.assign(static_cast<const char*>(xcb_get_property_value(r.get())),
                       static_cast<size_t>(len));
    return p;
}

Property readProperty(xcb_connection_t* c, uint32_t window, uint32_t prop, uint32_t type) {
    return takeProperty(c, askProperty(c, window, prop, type));
}

bool contains(const std::vector<uint32_t>& v, uint32_t x) {
    return x != 0 && std::find(v.begin(), v.end(), x) != v.end();
}

} // namespace

struct X11WindowSystem::Query {
    uint32_t window = 0;
    xcb_get_window_attributes_cookie_t attrs{};
    PropertyAsk wmState, netState, netName, name, cls, transient, types, netPid;
    bool resSent = false;
    xcb_res_query_client_ids_cookie_t res{};
};

X11WindowSystem::Query X11WindowSystem::ask(uint32_t window) {
    Query q;
    q.window = window;
    q.attrs = xcb_get_window_attributes(m_conn, window);
    q.wmState = askProperty(m_conn, window, atom("WM_STATE"), XCB_ATOM_ANY);
    q.netState = askProperty(m_conn, window, atom("_NET_WM_STATE"), XCB_ATOM_ATOM);
    q.netName = askProperty(m_conn, window, atom("_NET_WM_NAME"), atom("UTF8_STRING"));
    q.name = askProperty(m_conn, window, XCB_ATOM_WM_NAME, XCB_ATOM_ANY);
    q.cls = askProperty(m_conn, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    q.transient = askProperty(m_conn, window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW);
    q.types = askProperty(m_conn, window, atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM);
    q.netPid = askProperty(m_conn, window, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL);
    if (m_hasRes) {
        xcb_res_client_id_spec_t wanted{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        q.res = xcb_res_query_client_ids(m_conn, 1, &wanted);
        q.resSent = true;
    }
    return q;
}

// Every reply of q is taken, whatever is found: a reply left unread would stay queued.
WindowEntry X11WindowSystem::answer(const Query& q, bool rootChild) {
    xcb_generic_error_t* err = nullptr;
    XcbReply<xcb_get_window_attributes_reply_t> attrs(
        xcb_get_window_attributes_reply(m_conn, q.attrs, &err));
    std::free(err);
    const auto wmState = takeProperty(m_conn, q.wmState).cards();
    const auto netState = takeProperty(m_conn, q.netState).cards();
    const Property netName = takeProperty(m_conn, q.netName);
    const Property plainName = takeProperty(m_conn, q.name);
    const Property cls = takeProperty(m_conn, q.cls);
    const auto transient = takeProperty(m_conn, q.transient).cards();
    const auto types = takeProperty(m_conn, q.types).cards();
    const auto netPid = takeProperty(m_conn, q.netPid).cards();
    int serverPid = 0;
    if (q.resSent) {
        err = nullptr;
        XcbReply<xcb_res_query_client_ids_reply_t> r(
            xcb_res_query_client_ids_reply(m_conn, q.res, &err));
        std::free(err);
        for (auto it = r ? xcb_res_query_client_ids_ids_iterator(r.get())
                         : xcb_res_client_id_value_iterator_t{};
             it.rem; xcb_res_client_id_value_next(&it)) {
            // The value's kind: what the server says it holds, whatever was asked.
            const auto& [id, length] = *it.data;
            const auto [client, kind] = id;
            if (!(kind & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) || length != 4)
                continue;
            const uint32_t pid = *xcb_res_client_id_value_value(it.data);
            if (pid > 0 && pid <= INT32_MAX) {
                serverPid = static_cast<int>(pid);
                break;
            }
        }
    }
    if (!attrs)
        return {};
    // Without a window manager the candidates are the root's children: only real windows.
    if (rootChild && (attrs->override_redirect || attrs->_class != XCB_WINDOW_CLASS_INPUT_OUTPUT))
        return {};

    WindowEntry w;
    w.id = q.window;
    const bool iconic =
        (!wmState.empty() && wmState[0] == 3) || contains(netState, atom("_NET_WM_STATE_HIDDEN"));
    w.visible = attrs->map_state == XCB_MAP_STATE_VIEWABLE || iconic;

    const Property& name = netName.bytes.empty() ? plainName : netName;
    w.title = name.bytes.substr(0, name.bytes.find('\0'));

    const auto nul = cls.bytes.find('\0');
    w.wmInstance = cls.bytes.substr(0, nul);
    if (nul != std::string::npos) {
        const std::string rest = cls.bytes.substr(nul + 1);
        w.wmClass = rest.substr(0, rest.find('\0'));
    }

    w.hasOwner = !transient.empty() && transient[0] != 0;

    const bool normal = contains(types, atom("_NET_WM_WINDOW_TYPE_NORMAL"));
    const bool dialog = contains(types, atom("_NET_WM_WINDOW_TYPE_DIALOG"));
    const bool skipTaskbar = contains(netState, atom("_NET_WM_STATE_SKIP_TASKBAR"));
    w.toolWindow = skipTaskbar || (!types.empty() && !normal && !dialog);
    w.appWindow = normal && !skipTaskbar;

    // The server's word first: _NET_WM_PID is what the program says of itself, missing in many
    // programs and a number of its own PID namespace in a sandbox (Flatpak). The property
    // stands only where the server cannot say (a remote client, no resource extension).
    w.pid = serverPid ? serverPid
                      : (netPid.empty() || netPid[0] > INT32_MAX ? 0 : static_cast<int>(netPid[0]));
    return w;
}

std::vector<WindowEntry> X11WindowSystem::topLevelWindows() {
    std::vector<WindowEntry> out;
    if (!connect())
        return out;
    std::vector<uint32_t> ids =
        readProperty(m_conn, m_root, atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW).cards();
    const bool fromWm = !ids.empty();
    if (!fromWm) {
        // No window manager: the client windows are the children of the root window.
        auto qc = xcb_query_tree(m_conn, m_root);
        XcbReply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(m_conn, qc, nullptr));
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            ids.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
    }
    // The atoms the answers compare with are known before the requests go out, so that no
    // round trip of their own comes between.
    for (const char* name : {"_NET_WM_STATE_HIDDEN", "_NET_WM_WINDOW_TYPE_NORMAL",
                             "_NET_WM_WINDOW_TYPE_DIALOG", "_NET_WM_STATE_SKIP_TASKBAR"})
        atom(name);
    std::vector<Query> queries;
    queries.reserve(ids.size());
    for (uint32_t id : ids)
        queries.push_back(ask(id));
    for (const Query& q : queries) {
        WindowEntry w = answer(q, !fromWm);
        if (w.id != 0)
            out.push_back(std::move(w));
    }
    return out;
}

bool X11WindowSystem::requestClose(uint64_t id, int, const std::string&, const std::string&) {
    if (!connect() || id == 0 || id > UINT32_MAX)
        return false;
    const auto window = static_cast<uint32_t>(id);
    const auto protocols =
        readProperty(m_conn, window, atom("WM_PROTOCOLS"), XCB_ATOM_ATOM).cards();
    const uint32_t deleteWindow = atom("WM_DELETE_WINDOW");
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    if (contains(protocols, deleteWindow)) {
        ev.window = window;
        ev.type = atom("WM_PROTOCOLS");
        ev.data.data32[0] = deleteWindow;
        ev.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_conn, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&ev));
    } else {
        const auto supported =
            readProperty(m_conn, m_root, atom("_NET_SUPPORTED"), XCB_ATOM_ATOM).cards();
        const uint32_t netClose = atom("_NET_CLOSE_WINDOW");
        if (!contains(supported, netClose))
            return false;
        ev.window = window;
        ev.type = netClose;
        ev.data.data32[0] = XCB_CURRENT_TIME;
        ev.data.data32[1] = 2; // from a pager-like tool
        xcb_send_event(m_conn, 0, m_root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&ev));
    }
    xcb_flush(m_conn);
    return true;
}

bool X11WindowSystem::exists(uint64_t id) {
    if (!connect() || id == 0 || id > UINT32_MAX)
        return false;
    auto ac = xcb_get_window_attributes(m_conn, static_cast<uint32_t>(id));
    xcb_generic_error_t* err = nullptr;
    XcbReply<xcb_get_window_attributes_reply_t> a(
        xcb_get_window_attributes_reply(m_conn, ac, &err));
    std::free(err);
    return a != nullptr;
}

int X11WindowSystem::windowPid(uint64_t id) {
    if (!connect() || id == 0 || id > UINT32_MAX)
        return 0;
    return answer(ask(static_cast<uint32_t>(id)), false).pid;
}

std::pair<int, int> X11WindowSystem::screenPixels() {
    if (!connect())
        return {0, 0};
    return {m_width, m_height};
}

} // namespace tlv
