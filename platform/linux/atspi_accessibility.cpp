#include "platform/linux/atspi_accessibility.h"

#include "platform/scheduler.h"

#include <atspi/atspi.h>
#include <gio/gio.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>

namespace tlv {

namespace {

// Bounds for walking a foreign tree and reading its text.
constexpr int kMaxNodes = 4000;
constexpr int kMaxDocumentNodes = 1500;
constexpr int kMaxDepth = 48;
constexpr int kMaxAddressChars = 8192;
constexpr int kMaxCollected = 64; // editable fields asked for at once; a page may have many
constexpr int kXkReturn = 0xff0d;
// A window whose field was not found is searched again every round for its first rounds (a
// browser builds its tree while its first page loads: Chromium takes seconds on a busy
// machine), then after 2, 4, then every 8.
constexpr int kEagerSearches = 20;
constexpr int kMaxSearchBackoff = 8;
// A window not read during this many refreshes is forgotten (it closed or stopped being a
// browser window).
constexpr long kForgetAfterRounds = 4;

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

bool hasState(AtspiAccessible* a, AtspiStateType state) {
    AtspiStateSet* s = atspi_accessible_get_state_set(a);
    const bool has = s && atspi_state_set_contains(s, state);
    if (s)
        g_object_unref(s);
    return has;
}

bool isWebDocument(AtspiRole role) {
    return role == ATSPI_ROLE_DOCUMENT_WEB || role == ATSPI_ROLE_DOCUMENT_FRAME;
}

// Calls fn on each child (a borrowed reference); fn returns false to stop.
template <typename Fn>
void forEachChild(AtspiAccessible* node, Fn&& fn) {
    GError* e = nullptr;
    const gint n = atspi_accessible_get_child_count(node, &e);
    clearError(e);
    for (gint i = 0; i < n; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, &e);
        clearError(e);
        if (!child)
            continue;
        const bool more = fn(child);
        g_object_unref(child);
        if (!more)
            return;
    }
}

// Depth-first: the first editable entry, text or combo box below a tool bar (Firefox exposes
// its address bar as an editable combo box, Chromium as an entry). Web content is not
// searched: a page may have tool bars and fields of its own. Returns a new reference.
AtspiAccessible* findAddressField(AtspiAccessible* node, int depth, bool inToolbar, int& budget) {
    if (--budget < 0 || depth > kMaxDepth)
        return nullptr;
    const AtspiRole role = roleOf(node);
    if (isWebDocument(role))
        return nullptr;
    if (inToolbar &&
        (role == ATSPI_ROLE_ENTRY || role == ATSPI_ROLE_TEXT || role == ATSPI_ROLE_COMBO_BOX) &&
        hasState(node, ATSPI_STATE_EDITABLE)) {
        if (AtspiText* text = atspi_accessible_get_text_iface(node)) {
            g_object_unref(text);
            return static_cast<AtspiAccessible*>(g_object_ref(node));
        }
    }
    const bool below = inToolbar || role == ATSPI_ROLE_TOOL_BAR;
    AtspiAccessible* found = nullptr;
    forEachChild(node, [&](AtspiAccessible* child) {
        found = findAddressField(child, depth + 1, below, budget);
        return !found && budget > 0;
    });
    return found;
}

// The objects below root with one of roles (and the state, if given), by one Collection
// query: the application walks its own tree, far faster than a walk call by call (Chromium
// answers each call slowly while it builds its tree). New references, in tree order; nothing
// when the application has no Collection interface, none when it did not answer.
std::optional<std::vector<AtspiAccessible*>> collect(AtspiAccessible* root,
                                                     std::initializer_list<AtspiRole> wanted,
                                                     std::optional<AtspiStateType> state) {
    AtspiCollection* collection = atspi_accessible_get_collection_iface(root);
    if (!collection)
        return std::nullopt;
    GArray* roles = g_array_new(FALSE, FALSE, sizeof(AtspiRole));
    for (AtspiRole r : wanted)
        g_array_append_val(roles, r);
    AtspiStateSet* states = atspi_state_set_new(nullptr);
    if (state)
        atspi_state_set_add(states, *state);
    AtspiMatchRule* rule = atspi_match_rule_new(
        states, state ? ATSPI_Collection_MATCH_ALL : ATSPI_Collection_MATCH_NONE, nullptr,
        ATSPI_Collection_MATCH_NONE, roles, ATSPI_Collection_MATCH_ANY, nullptr,
        ATSPI_Collection_MATCH_NONE, FALSE);
    GError* e = nullptr;
    GArray* matches = atspi_collection_get_matches(
        collection, rule, ATSPI_Collection_SORT_ORDER_CANONICAL, kMaxCollected, TRUE, &e);
    const bool failed = e != nullptr;
    clearError(e);
    g_object_unref(rule);
    g_object_unref(states);
    g_array_free(roles, TRUE);
    g_object_unref(collection);
    std::vector<AtspiAccessible*> out;
    if (!matches)
        return out;
    for (guint i = 0; i < matches->len; ++i)
        out.push_back(g_array_index(matches, AtspiAccessible*, i));
    g_array_free(matches, TRUE);
    // A busy application that did not answer in time is asked again next round, not walked
    // call by call.
    if (failed) {
        for (AtspiAccessible* a : out)
            g_object_unref(a);
        out.clear();
    }
    return out;
}

// The first of the objects, if any; unreferences the others.
AtspiAccessible* firstOf(const std::vector<AtspiAccessible*>& objects) {
    for (size_t i = 1; i < objects.size(); ++i)
        g_object_unref(objects[i]);
    return objects.empty() ? nullptr : objects.front();
}

// The address field below frame, by Collection queries: the first editable entry, text or
// combo box of the first tool bar that has one (the browser's own tool bars come before the
// page in tree order, so a page's tool bar is never taken). Returns a new reference;
// nothing when the application has no Collection interface.
std::optional<AtspiAccessible*> collectAddressField(AtspiAccessible* frame) {
    auto toolbars = collect(frame, {ATSPI_ROLE_TOOL_BAR}, std::nullopt);
    if (!toolbars)
        return std::nullopt;
    AtspiAccessible* field = nullptr;
    for (AtspiAccessible* toolbar : *toolbars) {
        if (!field) {
            if (auto fields =
                    collect(toolbar, {ATSPI_ROLE_ENTRY, ATSPI_ROLE_TEXT, ATSPI_ROLE_COMBO_BOX},
                            ATSPI_STATE_EDITABLE))
                // Whether it has text is seen when it is read: asking now costs a call to an
                // application that may answer slowly.
                field = firstOf(*fields);
        }
        g_object_unref(toolbar);
    }
    return field;
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
    count = std::clamp(count, 0, kMaxAddressChars);
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

std::string withoutScheme(const std::string& url) {
    const auto sep = url.find("://");
    return sep == std::string::npos ? url : url.substr(sep + 3);
}

// Whether a document address is the one a browser shows without its scheme (and without the
// "/" of a root page, or the "www." of the host).
bool showsAs(const std::string& documentUrl, const std::string& shown) {
    if (shown.empty() || documentUrl.find("://") == std::string::npos)
        return false;
    std::string doc = withoutScheme(documentUrl);
    for (int pass = 0; pass < 2; ++pass) {
        if (doc == shown || doc == shown + "/")
            return true;
        if (!doc.starts_with("www."))
            break;
        doc = doc.substr(4);
    }
    return false;
}

// The address of a web document, when it is the one the shown text stands for.
std::optional<std::string> addressOfDocument(AtspiAccessible* node, const std::string& shown) {
    AtspiDocument* doc = atspi_accessible_get_document_iface(node);
    if (!doc)
        return std::nullopt;
    std::optional<std::string> out;
    for (const char* attribute : {"DocURL", "URI"}) {
        GError* e = nullptr;
        gchar* v =
            atspi_document_get_document_attribute_value(doc, const_cast<gchar*>(attribute), &e);
        clearError(e);
        const std::string url = v ? v : "";
        g_free(v);
        if (showsAs(url, shown)) {
            out = url.substr(0, kMaxAddressChars);
            break;
        }
    }
    g_object_unref(doc);
    return out;
}

// The address of the web document below node that the shown text stands for, walking call by
// call (for an application without the Collection interface).
std::optional<std::string> walkDocumentAddress(AtspiAccessible* node, const std::string& shown,
                                               int depth, int& budget) {
    if (--budget < 0 || depth > kMaxDepth)
        return std::nullopt;
    if (isWebDocument(roleOf(node)))
        return addressOfDocument(node, shown);
    std::optional<std::string> found;
    forEachChild(node, [&](AtspiAccessible* child) {
        found = walkDocumentAddress(child, shown, depth + 1, budget);
        return !found && budget > 0;
    });
    return found;
}

std::optional<std::string> documentAddress(AtspiAccessible* frame, const std::string& shown) {
    if (auto documents =
            collect(frame, {ATSPI_ROLE_DOCUMENT_WEB, ATSPI_ROLE_DOCUMENT_FRAME}, std::nullopt)) {
        std::optional<std::string> out;
        for (AtspiAccessible* d : *documents) {
            if (!out)
                out = addressOfDocument(d, shown);
            g_object_unref(d);
        }
        return out;
    }
    int budget = kMaxDocumentNodes;
    return walkDocumentAddress(frame, shown, 0, budget);
}

// Switches the session's accessibility on, as a desktop's accessibility setting does: the bus
// launcher's org.a11y.Status IsEnabled. GTK and Firefox then load their bridge.
void enableSessionAccessibility() {
    GError* e = nullptr;
    gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, &e);
    clearError(e);
    if (!address)
        return;
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address,
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, &e);
    clearError(e);
    g_free(address);
    if (!bus)
        return;
    GVariant* r = g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)),
        nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, &e);
    clearError(e);
    if (r)
        g_variant_unref(r);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
}

} // namespace

struct AtspiAccessibility::Worker {
    // Shared with the client thread, under mu.
    std::mutex mu;
    std::condition_variable cv;
    bool stop = false;
    bool started = false; // initialisation finished
    bool ok = false;      // a bus was found
    long requested = 0;   // rounds asked for
    long done = 0;        // rounds finished
    struct Wanted {
        WindowEntry window;
        long askedIn = 0;
    };
    std::map<uint64_t, Wanted> wanted;
    struct Result {
        int pid = 0;
        std::string address;
    };
    std::map<uint64_t, Result> results;
    std::deque<std::function<void()>> jobs;
    Stats stats;

    // The worker's own.
    struct Cached {
        int pid = 0;
        std::string title;
        AtspiAccessible* field = nullptr;
        AtspiAccessible* frame = nullptr;
        std::string shown;
        std::string resolved;
        bool haveText = false; // shown and resolved belong to the field held now
        bool known = false;    // resolved is the address the window showed last
        int failures = 0;
        long nextSearch = 0;
    };
    std::map<uint64_t, Cached> cache;
    GMainContext* context = nullptr;
    std::thread thread;

    static void drop(Cached& c) {
        if (c.field)
            g_object_unref(c.field);
        if (c.frame)
            g_object_unref(c.frame);
        c.field = c.frame = nullptr;
        c.haveText = false;
    }

    void run(bool enable, Scheduler* scheduler, std::weak_ptr<std::function<void()>> listener);
    bool init(bool enable);
    std::map<uint64_t, Result> round(long number, const std::vector<Wanted>& windows);
    // aloneInItsProcess: no other window of the same process is asked for.
    bool search(const WindowEntry& w, Cached& c, bool aloneInItsProcess);
    bool findField(const WindowEntry& w, Cached& c, long number, bool aloneInItsProcess);
    // Reads the window's field into c (found first if need be).
    void readField(const WindowEntry& w, Cached& c, long number, bool aloneInItsProcess);
};

bool AtspiAccessibility::Worker::init(bool enable) {
    // libatspi needs a session bus to find the accessibility bus; without one there is nothing
    // to read.
    const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* direct = std::getenv("AT_SPI_BUS_ADDRESS");
    if ((!session || !*session) && (!direct || !*direct))
        return false;
    // The worker's D-Bus traffic is dispatched here, never by the client thread's event loop.
    context = g_main_context_new();
    g_main_context_push_thread_default(context);
    if (enable && session && *session)
        enableSessionAccessibility();
    const int rc = atspi_init();
    if (rc != 0 && rc != 1)
        return false;
    atspi_set_main_context(context);
    // A browser busy with its start answers in hundreds of ms; a call that fails is a round lost.
    atspi_set_timeout(1000, 3000);
    return true;
}

void AtspiAccessibility::Worker::run(bool enable, Scheduler* scheduler,
                                     std::weak_ptr<std::function<void()>> listener) {
    const bool up = init(enable);
    {
        std::lock_guard lock(mu);
        ok = up;
        started = true;
    }
    cv.notify_all();
    while (true) {
        std::function<void()> job;
        long target = 0;
        std::vector<Wanted> windows;
        {
            std::unique_lock lock(mu);
            cv.wait(lock, [&] { return stop || !jobs.empty() || requested > done; });
            if (stop)
                break;
            if (!jobs.empty()) {
                job = std::move(jobs.front());
                jobs.pop_front();
            } else {
                target = requested;
                std::erase_if(wanted, [&](const auto& kv) {
                    return kv.second.askedIn < target - kForgetAfterRounds;
                });
                for (const auto& [id, w] : wanted)
                    windows.push_back(w);
            }
        }
        if (context)
            while (g_main_context_iteration(context, FALSE)) {
            }
        if (job) {
            job();
            continue;
        }
        std::map<uint64_t, Result> found = up ? round(target, windows) : decltype(found){};
        bool changed = false;
        {
            std::lock_guard lock(mu);
            for (const auto& [id, r] : found) {
                auto old = results.find(id);
                if (old == results.end() || old->second.address != r.address ||
                    old->second.pid != r.pid)
                    changed = true;
            }
            results = std::move(found);
            done = target;
            ++stats.rounds;
        }
        cv.notify_all();
        if (changed && scheduler)
            scheduler->post([listener] {
                if (auto fn = listener.lock(); fn && *fn)
                    (*fn)();
            });
    }
    for (auto& [id, c] : cache)
        drop(c);
    cache.clear();
    if (up)
        atspi_exit();
    if (context) {
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }
}

bool AtspiAccessibility::Worker::search(const WindowEntry& w, Cached& c, bool aloneInItsProcess) {
    {
        std::lock_guard lock(mu);
        ++stats.searches;
    }
    AtspiAccessible* desktop = atspi_get_desktop(0);
    if (!desktop)
        return false;
    bool found = false;
    forEachChild(desktop, [&](AtspiAccessible* app) {
        GError* e = nullptr;
        const guint pid = atspi_accessible_get_process_id(app, &e);
        clearError(e);
        if (static_cast<int>(pid) != w.pid)
            return true;
        // What the application showed before may be stale: ask it afresh.
        atspi_accessible_clear_cache(app);
        // The frame of this window: the one named by its title, or the only one shown (Chromium
        // keeps hidden frames, and names a frame after its page a moment after its window). A
        // busy browser may answer no name at all: when this is its only window, any shown
        // frame with an address field is this window's.
        AtspiAccessible* named = nullptr;
        std::vector<AtspiAccessible*> shown;
        forEachChild(app, [&](AtspiAccessible* frame) {
            const AtspiRole r = roleOf(frame);
            if (r != ATSPI_ROLE_FRAME && r != ATSPI_ROLE_WINDOW)
                return true;
            if (!named && nameOf(frame) == w.title) {
                named = static_cast<AtspiAccessible*>(g_object_ref(frame));
                return true;
            }
            if (hasState(frame, ATSPI_STATE_SHOWING))
                shown.push_back(static_cast<AtspiAccessible*>(g_object_ref(frame)));
            return true;
        });
        std::vector<AtspiAccessible*> candidates;
        if (named)
            candidates = {named};
        else if (shown.size() == 1 || aloneInItsProcess)
            candidates = shown;
        for (AtspiAccessible* frame : candidates) {
            AtspiAccessible* field = nullptr;
            if (auto collected = collectAddressField(frame)) {
                field = *collected;
            } else {
                int budget = kMaxNodes;
                field = findAddressField(frame, 0, false, budget);
            }
            if (field) {
                c.field = field;
                c.frame = static_cast<AtspiAccessible*>(g_object_ref(frame));
                found = true;
                break;
            }
        }
        if (named)
            g_object_unref(named);
        for (AtspiAccessible* frame : shown)
            g_object_unref(frame);
        return !found;
    });
    g_object_unref(desktop);
    return found;
}

bool AtspiAccessibility::Worker::findField(const WindowEntry& w, Cached& c, long number,
                                           bool aloneInItsProcess) {
    if (c.field && c.pid == w.pid)
        return true;
    if (c.pid != w.pid) {
        drop(c);
        c = {};
        c.pid = w.pid;
    }
    // A new title may come with a new tree (Chromium builds it when first asked).
    if (number < c.nextSearch && c.title == w.title)
        return false;
    c.title = w.title;
    if (search(w, c, aloneInItsProcess)) {
        c.failures = 0;
        return true;
    }
    c.failures = std::min(c.failures + 1, kEagerSearches + 8);
    c.nextSearch = number + (c.failures <= kEagerSearches
                                 ? 1
                                 : std::min(1 << (c.failures - kEagerSearches), kMaxSearchBackoff));
    return false;
}

std::map<uint64_t, AtspiAccessibility::Worker::Result>
AtspiAccessibility::Worker::round(long number, const std::vector<Wanted>& windows) {
    std::map<uint64_t, Result> out;
    for (auto it = cache.begin(); it != cache.end();) {
        const bool still = std::any_of(windows.begin(), windows.end(),
                                       [&](const Wanted& w) { return w.window.id == it->first; });
        if (still) {
            ++it;
        } else {
            drop(it->second);
            it = cache.erase(it);
        }
    }
    for (const Wanted& want : windows) {
        const WindowEntry& w = want.window;
        if (w.pid <= 0)
            continue;
        Cached& c = cache[w.id];
        const bool alone = std::count_if(windows.begin(), windows.end(), [&](const Wanted& o) {
                               return o.window.pid == w.pid;
                           }) == 1;
        readField(w, c, number, alone);
        // A browser too busy to answer (Chromium stalls for seconds at a time while it starts)
        // keeps the address it showed last: its silence does not spare its page.
        if (c.known)
            out[w.id] = {w.pid, c.resolved};
    }
    return out;
}

void AtspiAccessibility::Worker::readField(const WindowEntry& w, Cached& c, long number,
                                           bool aloneInItsProcess) {
    if (!findField(w, c, number, aloneInItsProcess))
        return;
    {
        std::lock_guard lock(mu);
        ++stats.reads;
    }
    // One call per window and round while nothing changes: a browser that is busy answers
    // each call slowly.
    auto text = textOf(c.field);
    if (!text) {
        // The field went away (the window was rebuilt) or did not answer: look again next
        // round.
        drop(c);
        c.nextSearch = number + 1;
        return;
    }
    // While the customer types in the field it shows no page: the last address stands.
    if (c.haveText && *text != c.shown && hasState(c.field, ATSPI_STATE_FOCUSED))
        return;
    if (!c.haveText || *text != c.shown) {
        c.shown = *text;
        c.resolved = *text;
        if (text->find("://") == std::string::npos && c.frame) {
            if (auto full = documentAddress(c.frame, *text))
                c.resolved = *full;
        }
        c.haveText = true;
        c.known = true;
    }
}

AtspiAccessibility::AtspiAccessibility(Scheduler* scheduler, bool enableForSession)
    : m_scheduler(scheduler), m_enable(enableForSession),
      m_listener(std::make_shared<std::function<void()>>()) {}

AtspiAccessibility::~AtspiAccessibility() {
    if (!m_worker)
        return;
    {
        std::lock_guard lock(m_worker->mu);
        m_worker->stop = true;
    }
    m_worker->cv.notify_all();
    m_worker->thread.join();
}

void AtspiAccessibility::start() {
    if (m_worker)
        return;
    m_worker = std::make_unique<Worker>();
    m_worker->thread = std::thread(
        [w = m_worker.get(), enable = m_enable, s = m_scheduler,
         l = std::weak_ptr<std::function<void()>>(m_listener)] { w->run(enable, s, l); });
}

void AtspiAccessibility::setChangeListener(std::function<void()> fn) {
    *m_listener = std::move(fn);
}

bool AtspiAccessibility::available() {
    start();
    std::unique_lock lock(m_worker->mu);
    m_worker->cv.wait(lock, [&] { return m_worker->started; });
    return m_worker->ok;
}

std::optional<std::string> AtspiAccessibility::readAddress(const WindowEntry& window) {
    if (window.pid <= 0)
        return std::nullopt;
    start();
    bool fresh = false;
    std::optional<std::string> out;
    {
        std::lock_guard lock(m_worker->mu);
        auto& want = m_worker->wanted[window.id];
        fresh = want.window.id == 0;
        want.window = window;
        want.askedIn = m_worker->requested;
        auto r = m_worker->results.find(window.id);
        if (r != m_worker->results.end() && r->second.pid == window.pid)
            out = r->second.address;
        // A new window is looked at at once rather than at the next refresh.
        if (fresh && m_worker->requested == m_worker->done)
            ++m_worker->requested;
    }
    if (fresh)
        m_worker->cv.notify_all();
    return out;
}

void AtspiAccessibility::refresh() {
    if (!m_worker)
        return;
    {
        std::lock_guard lock(m_worker->mu);
        // Rounds do not pile up behind a slow browser: one pending round serves every request.
        if (m_worker->requested == m_worker->done)
            ++m_worker->requested;
    }
    m_worker->cv.notify_all();
}

void AtspiAccessibility::refreshNow() {
    start();
    std::unique_lock lock(m_worker->mu);
    const long target = ++m_worker->requested;
    m_worker->cv.notify_all();
    m_worker->cv.wait(lock, [&] { return m_worker->done >= target || m_worker->stop; });
}

AtspiAccessibility::Stats AtspiAccessibility::stats() const {
    if (!m_worker)
        return {};
    std::lock_guard lock(m_worker->mu);
    return m_worker->stats;
}

bool AtspiAccessibility::navigate(const WindowEntry& window, const std::string& address) {
    if (window.pid <= 0 || !available())
        return false;
    auto result = std::make_shared<std::promise<bool>>();
    auto answer = result->get_future();
    Worker* w = m_worker.get();
    {
        std::lock_guard lock(w->mu);
        w->jobs.push_back([w, window, address, result] {
            Worker::Cached& c = w->cache[window.id];
            bool ok = false;
            if (w->findField(window, c, w->done + kMaxSearchBackoff, false)) {
                if (AtspiEditableText* edit = atspi_accessible_get_editable_text_iface(c.field)) {
                    GError* e = nullptr;
                    ok = atspi_editable_text_set_text_contents(edit, address.c_str(), &e);
                    clearError(e);
                    g_object_unref(edit);
                    if (ok) {
                        if (AtspiComponent* comp = atspi_accessible_get_component_iface(c.field)) {
                            atspi_component_grab_focus(comp, &e);
                            clearError(e);
                            g_object_unref(comp);
                        }
                        ok = atspi_generate_keyboard_event(kXkReturn, nullptr, ATSPI_KEY_SYM, &e);
                        clearError(e);
                    }
                }
            }
            result->set_value(ok);
        });
    }
    w->cv.notify_all();
    return answer.get();
}

} // namespace tlv
