// The URL monitor: browser windows from a fake window list, addresses from a fake tree.
#include "control/browser_classes.h"
#include "control/clsInetexplorer.h"
#include "control/url_spy.h"
#include "core/log.h"
#include "platform/fake/fake_control_ports.h"
#include "platform/fake/virtual_time.h"

#include <gtest/gtest.h>

namespace tlv {
namespace {

struct SpyRig {
    VirtualClock clock;
    Logger log{clock, "/dev/null"};
    FakeWindowSystem windows;
    FakeBrowserAccessibility tree;
    UrlSpy spy{windows, tree, log};
    std::vector<std::string> sent;

    SpyRig() {
        spy.setReport([this](const std::string& m) { sent.push_back(m); });
    }
    void show(uint64_t id, const std::string& title, const std::string& url,
              const std::string& cls = "firefox") {
        windows.removeWindowsOf(static_cast<int>(id));
        WindowEntry& w = windows.add(id, static_cast<int>(id), title);
        w.wmInstance = "Navigator";
        w.wmClass = cls;
        tree.addresses[id] = url;
    }
    void close(uint64_t id) {
        windows.removeWindowsOf(static_cast<int>(id));
        tree.addresses.erase(id);
    }
};

std::string report(uint64_t h, const std::string& caption, const std::string& url) {
    const std::string sep = "%$&####PayloadToken#";
    return "%$&######SessionURL#" + std::to_string(h) + sep + caption + sep + url + sep +
           "%$&######MessageEnd#";
}

TEST(SessionUrl, MessageHasItsTrailingSeparator) {
    EXPECT_EQ(buildSessionUrlMessage(4242, "News", "http://a.example/"),
              "%$&######SessionURL#4242%$&####PayloadToken#News%$&####PayloadToken#"
              "http://a.example/%$&####PayloadToken#%$&######MessageEnd#");
}

TEST(UrlSpy, PassesAsATable) {
    SpyRig r;
    struct Pass {
        std::function<void(SpyRig&)> change;
        std::vector<std::string> reports;
        const char* what;
    } passes[] = {
        {[](SpyRig& s) { s.show(7, "News \xE2\x80\x94 Mozilla Firefox", "https://news.example/"); },
         {report(7, "News", "https://news.example/")},
         "new page reported, suffix removed"},
        {[](SpyRig&) {}, {}, "unchanged: once only"},
        {[](SpyRig& s) {
             s.show(7, "News \xE2\x80\x94 Mozilla Firefox", "https://news.example/2");
         },
         {},
         "address only changed"},
        {[](SpyRig& s) { s.show(7, "Sport - Mozilla Firefox", "https://news.example/sport"); },
         {report(7, "Sport", "https://news.example/sport")},
         "address and title changed"},
        {[](SpyRig& s) { s.show(8, "C:\\", "C:\\", "Chromium"); }, {}, "local path"},
        {[](SpyRig& s) { s.show(8, "share", "\\\\server\\share", "Chromium"); },
         {report(8, "share", "\\\\server\\share")},
         "network path"},
        {[](SpyRig& s) { s.show(7, "about:blank", "about:blank"); }, {}, "about:blank"},
        {[](SpyRig& s) { s.show(7, "Sport - Mozilla Firefox", "https://news.example/sport"); },
         {report(7, "Sport", "https://news.example/sport")},
         "forgotten while on about:blank: reported again"},
        {[](SpyRig& s) { s.show(7, "x", "a/b"); }, {}, "shorter than five characters"},
        {[](SpyRig& s) { s.show(7, "Sport - Mozilla Firefox", "https://news.example/sport"); },
         {report(7, "Sport", "https://news.example/sport")},
         "short address forgot it too"},
        {[](SpyRig& s) { s.close(7); }, {}, "closed"},
        {[](SpyRig& s) { s.show(7, "Sport - Mozilla Firefox", "https://news.example/sport"); },
         {report(7, "Sport", "https://news.example/sport")},
         "closed window was removed"},
        {[](SpyRig& s) { s.show(7, "Mail - Chromium", "https://mail.example/", "Chromium"); },
         {report(7, "Mail", "https://mail.example/")},
         "reused handle: the same window, both changed"},
        {[](SpyRig& s) { s.show(11, "Local - Chromium", "127.0.0.1:8765", "Chromium"); },
         {report(11, "Local", "http://127.0.0.1:8765/")},
         "a root page shown without scheme and slash"},
        {[](SpyRig& s) { s.show(9, "Page", "https://x.example/", "XTerm"); }, {}, "not a browser"},
        {[](SpyRig& s) { s.windows.add(10, 10, "No tree").wmClass = "firefox"; },
         {},
         "no readable address: not listed"},
    };
    for (auto& p : passes) {
        r.sent.clear();
        p.change(r);
        r.spy.tmrURLspy_Timer();
        EXPECT_EQ(r.sent, p.reports) << p.what;
    }
}

// A page found in the background is reported when it is found, without waiting for the next
// tick; nothing is reported that way before the timer ever ran.
TEST(UrlSpy, BackgroundFindReportedAtOnce) {
    SpyRig r;
    ASSERT_TRUE(r.tree.listener);
    r.show(7, "News - Mozilla Firefox", "https://news.example/");
    r.tree.listener();
    EXPECT_TRUE(r.sent.empty());
    r.spy.tmrURLspy_Timer();
    EXPECT_EQ(r.tree.refreshes, 1) << "each pass asks for a fresh look";
    r.sent.clear();
    r.show(7, "Sport - Mozilla Firefox", "https://news.example/sport");
    r.tree.listener();
    EXPECT_EQ(r.sent, std::vector<std::string>{report(7, "Sport", "https://news.example/sport")});
}

TEST(BrowserAddress, NormalisedAsTheBrowserMeansIt) {
    const std::pair<const char*, const char*> cases[] = {
        {"127.0.0.1:8765", "http://127.0.0.1:8765/"},
        {"127.0.0.1:8765/hello.html", "http://127.0.0.1:8765/hello.html"},
        {"news.example", "http://news.example/"},
        {"news.example/a?b=c#d", "http://news.example/a?b=c#d"},
        {"news.example?q=1", "http://news.example/?q=1"},
        {"localhost:8000", "http://localhost:8000/"},
        {"localhost", "http://localhost/"},
        {"[::1]:8080/x", "http://[::1]:8080/x"},
        {"http://127.0.0.1:8765", "http://127.0.0.1:8765/"},
        {"https://news.example", "https://news.example/"},
        {"https://news.example/path", "https://news.example/path"},
        {"file:///tmp/x.html", "file:///tmp/x.html"},
        {"about:blank", "about:blank"},
        {"mailto:a@b.example", "mailto:a@b.example"},
        {"cats", "cats"},
        {"cheap flights.example", "cheap flights.example"},
        {"C:\\", "C:\\"},
        {"\\\\server\\share", "\\\\server\\share"},
        {"host:99999999", "host:99999999"},
        {".example", ".example"},
        {"", ""},
    };
    for (const auto& [shown, meant] : cases)
        EXPECT_EQ(normalizeAddress(shown), meant) << shown;
}

TEST(InetExplorer, ItemsFromOneBadIndexLogged) {
    VirtualClock clock;
    Logger log{clock, "/dev/null"};
    std::vector<std::string> traces;
    FakeWindowSystem windows;
    FakeBrowserAccessibility tree;
    windows.add(5, 5, "Start - Vivaldi").wmClass = "Vivaldi-stable";
    tree.addresses[5] = "https://start.example/";
    clsInetexplorer ie(windows, tree, log);
    ie.Refresh();
    ASSERT_EQ(ie.Count(), 1);
    EXPECT_EQ(ie.ItemhWnd(1), 5u);
    EXPECT_EQ(ie.ItemCaption(1), "Start");
    EXPECT_EQ(ie.ItemURL(1), "https://start.example/");
    EXPECT_EQ(ie.ItemhWnd(2), 0u);
    EXPECT_EQ(ie.ItemURL(0), "");
    ie.NavigateTo(1, "https://other.example/");
    EXPECT_EQ(tree.navigations.size(), 1u);
    EXPECT_EQ(tree.addresses[5], "https://other.example/");
}

TEST(BrowserClasses, KnownBrowsersByWindowClass) {
    for (const char* cls : {"firefox", "firefox-esr", "Chromium", "Google-chrome", "Epiphany",
                            "falkon", "Brave-browser", "Vivaldi-stable", "Opera"})
        EXPECT_NE(browserOfWindow("", cls), nullptr) << cls;
    EXPECT_EQ(browserOfWindow("Navigator", "Thunderbird"), nullptr);
    EXPECT_EQ(browserOfWindow("xterm", "XTerm"), nullptr);
}

} // namespace
} // namespace tlv
