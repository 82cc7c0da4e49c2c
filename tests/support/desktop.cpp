#include "tests/support/desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <png.h>
#include <poll.h>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tlv::test {

namespace {

using Clock = std::chrono::steady_clock;

// The environment of this process with the given entries replacing or adding theirs.
std::vector<std::string> mergedEnvironment(const std::vector<std::string>& extra) {
    std::vector<std::string> out;
    for (char** e = environ; *e; ++e)
        out.emplace_back(*e);
    for (const auto& kv : extra) {
        const std::string key = kv.substr(0, kv.find('=') + 1);
        std::erase_if(out, [&](const std::string& s) { return s.rfind(key, 0) == 0; });
        out.push_back(kv);
    }
    return out;
}

// Spawns argv; stdout to outFd (or /dev/null when -1), stderr to /dev/null, stdin from
// /dev/null. Extra fds to keep open are closed in the parent by the caller.
int spawnProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
                 int outFd, int closeFd = -1, bool ownGroup = false) {
    std::vector<std::string> envStore = mergedEnvironment(extraEnv);
    std::vector<char*> env, args;
    for (auto& s : envStore)
        env.push_back(s.data());
    env.push_back(nullptr);
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (closeFd >= 0)
        posix_spawn_file_actions_addclose(&actions, closeFd);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    if (ownGroup) {
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attr, 0);
    }
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), env.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Ends a process started in a group of its own, with whatever it started in that group.
void endGroup(int pid) {
    if (pid <= 0)
        return;
    ::kill(-pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 300 && ::waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(-pid, SIGKILL);
    ::waitpid(pid, &status, WNOHANG);
}

struct DisplayCloser {
    void operator()(Display* d) const {
        if (d)
            XCloseDisplay(d);
    }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

DisplayPtr openDisplay(const std::string& name) {
    return DisplayPtr(XOpenDisplay(name.c_str()));
}

// Our own checks must not die on a window that vanished between two calls.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

bool hasProperty(Display* d, Window w, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const bool ok = XGetWindowProperty(d, w, property, 0, 1, False, AnyPropertyType, &type, &format,
                                       &count, &after, &data) == Success &&
                    type != None;
    if (data)
        XFree(data);
    return ok;
}

long cardinalProperty(Display* d, Window w, const char* name) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    long value = -1;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1, False, AnyPropertyType, &type,
                           &format, &count, &after, &data) == Success &&
        data && count == 1 && format == 32)
        value = *reinterpret_cast<long*>(data);
    if (data)
        XFree(data);
    return value;
}

std::string nameOf(Display* d, Window w) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after,
                           &data) == Success &&
        data && count > 0)
        name.assign(reinterpret_cast<char*>(data), count);
    if (data)
        XFree(data);
    if (name.empty()) {
        char* plain = nullptr;
        if (XFetchName(d, w, &plain) && plain) {
            name = plain;
            XFree(plain);
        }
    }
    return name;
}

bool isViewable(Display* d, Window w) {
    XWindowAttributes a;
    return XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable;
}

std::vector<Window> childrenOf(Display* d, Window w) {
    Window root = 0, parent = 0;
    Window* kids = nullptr;
    unsigned int n = 0;
    std::vector<Window> out;
    if (XQueryTree(d, w, &root, &parent, &kids, &n) && kids) {
        out.assign(kids, kids + n);
        XFree(kids);
    }
    return out; // bottom to top
}

// The client window at or below w: the one with WM_STATE (a frame's client).
Window clientOf(Display* d, Window w, Atom wmState, int depth = 0) {
    if (hasProperty(d, w, wmState))
        return w;
    if (depth > 3)
        return 0;
    const auto kids = childrenOf(d, w);
    for (auto it = kids.rbegin(); it != kids.rend(); ++it)
        if (Window c = clientOf(d, *it, wmState, depth + 1))
            return c;
    return 0;
}

} // namespace

bool waitUntil(const std::function<bool()>& pred, int timeoutMs, int stepMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        if (pred())
            return true;
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
}

Desktop::Desktop(DesktopOptions options) : m_options(std::move(options)) {
    XSetErrorHandler(ignoreXErrors);
    m_right = m_options.width;
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    const std::string size =
        std::to_string(m_options.width) + "x" + std::to_string(m_options.height) + "x24";
    m_xvfb = spawnProcess({"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp",
                           "-screen", "0", size, "+extension", "RANDR"},
                          {}, -1, fds[0], true);
    ::close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char buf[32];
    while (m_xvfb > 0 && ::poll(&p, 1, 15000) > 0) {
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break;
        number.append(buf, static_cast<size_t>(n));
        if (number.find('\n') != std::string::npos)
            break;
    }
    ::close(fds[0]);
    while (!number.empty() && (number.back() == '\n' || number.back() == ' '))
        number.pop_back();
    if (number.empty())
        return;
    m_display = ":" + number;
    if (!m_options.windowManager.empty()) {
        std::vector<std::string> argv{m_options.windowManager};
        if (m_options.windowManager == "openbox") {
            argv.push_back("--sm-disable");
        } else if (m_options.windowManager == "xfwm4") {
            // Its settings daemon is reached over a session bus: a private one.
            argv = {"dbus-run-session", "--", "xfwm4", "--compositor=off", "--sm-client-disable"};
        }
        m_wm = spawnProcess(argv, env(), -1, -1, true);
        DisplayPtr d = openDisplay(m_display);
        if (!d)
            return;
        const Window root = DefaultRootWindow(d.get());
        const Atom check = XInternAtom(d.get(), "_NET_SUPPORTING_WM_CHECK", False);
        if (!waitUntil(
                [&] {
                    return cardinalProperty(d.get(), root, "_NET_SUPPORTING_WM_CHECK") > 0 ||
                           hasProperty(d.get(), root, check);
                },
                15000))
            return;
        // The manager sets the check before it has finished taking the screen over.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    m_ready = true;
}

Desktop::~Desktop() {
    endGroup(m_wm);
    endGroup(m_xvfb);
}

std::vector<std::string> Desktop::env() const {
    // A test suite runs with the offscreen platform; what runs here must use the display.
    return {"DISPLAY=" + m_display, "QT_QPA_PLATFORM=xcb"};
}

int Desktop::run(const std::vector<std::string>& argv, std::string* out, int timeoutMs) const {
    int fds[2] = {-1, -1};
    if (out && ::pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    const int pid = spawnProcess(argv, env(), out ? fds[1] : -1);
    if (out)
        ::close(fds[1]);
    if (pid <= 0) {
        if (out)
            ::close(fds[0]);
        return -1;
    }
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    bool ended = false;
    while (!ended) {
        if (out) {
            pollfd p{fds[0], POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buf[4096];
                const ssize_t n = ::read(fds[0], buf, sizeof buf);
                if (n > 0)
                    out->append(buf, static_cast<size_t>(n));
            }
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
        if (!ended && Clock::now() >= end) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            if (out)
                ::close(fds[0]);
            return -1;
        }
    }
    if (out) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fds[0], buf, sizeof buf)) > 0)
            out->append(buf, static_cast<size_t>(n));
        ::close(fds[0]);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// No --sync: xdotool then waits for a motion that never comes when the pointer is already
// there, and the click is lost. The server handles the move before the button anyway.
void Desktop::click(int x, int y, int button) const {
    run({"xdotool", "mousemove", std::to_string(x), std::to_string(y), "click",
         std::to_string(button)});
}

void Desktop::move(int x, int y) const {
    run({"xdotool", "mousemove", std::to_string(x), std::to_string(y)});
}

void Desktop::key(const std::string& chords) const {
    std::vector<std::string> argv{"xdotool", "key", "--delay", "30"};
    size_t start = 0;
    while (start < chords.size()) {
        const size_t space = chords.find(' ', start);
        const std::string chord = chords.substr(start, space - start);
        if (!chord.empty())
            argv.push_back(chord);
        if (space == std::string::npos)
            break;
        start = space + 1;
    }
    run(argv);
}

void Desktop::type(const std::string& text) const {
    run({"xdotool", "type", "--delay", "20", text});
}

std::vector<unsigned long> Desktop::windows(const std::string& nameRegex, int pid) const {
    std::vector<unsigned long> out;
    DisplayPtr d = openDisplay(m_display);
    if (!d)
        return out;
    const std::regex re(nameRegex);
    const Atom wmState = XInternAtom(d.get(), "WM_STATE", False);
    for (Window top : childrenOf(d.get(), DefaultRootWindow(d.get()))) {
        Window w = m_options.windowManager.empty() ? top : clientOf(d.get(), top, wmState);
        if (!w || !isViewable(d.get(), w))
            continue;
        if (!std::regex_search(nameOf(d.get(), w), re))
            continue;
        if (pid > 0 && cardinalProperty(d.get(), w, "_NET_WM_PID") != pid)
            continue;
        out.push_back(w);
    }
    return out;
}

unsigned long Desktop::waitWindow(const std::string& nameRegex, int timeoutMs, int pid) const {
    unsigned long found = 0;
    waitUntil(
        [&] {
            const auto all = windows(nameRegex, pid);
            if (!all.empty())
                found = all.back();
            return found != 0;
        },
        timeoutMs, 50);
    return found;
}

Desktop::Rect Desktop::geometry(unsigned long window) const {
    Rect r;
    DisplayPtr d = openDisplay(m_display);
    if (!d)
        return r;
    XWindowAttributes a;
    if (!XGetWindowAttributes(d.get(), window, &a))
        return r;
    Window child = 0;
    int x = 0, y = 0;
    XTranslateCoordinates(d.get(), window, DefaultRootWindow(d.get()), 0, 0, &x, &y, &child);
    return Rect{x, y, a.width, a.height};
}

bool Desktop::viewable(unsigned long window) const {
    DisplayPtr d = openDisplay(m_display);
    return d && isViewable(d.get(), window);
}

unsigned long Desktop::topmost() const {
    DisplayPtr d = openDisplay(m_display);
    if (!d)
        return 0;
    const Atom wmState = XInternAtom(d.get(), "WM_STATE", False);
    const auto tops = childrenOf(d.get(), DefaultRootWindow(d.get()));
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        // A window manager keeps tiny helper windows mapped above everything.
        XWindowAttributes a;
        if (!XGetWindowAttributes(d.get(), *it, &a) || a.map_state != IsViewable ||
            a.c_class != InputOutput || a.width <= 1 || a.height <= 1)
            continue;
        // A popup or a window manager's own window has no client: it is its own top.
        const Window client = clientOf(d.get(), *it, wmState);
        return client ? client : *it;
    }
    return 0;
}

std::string Desktop::windowName(unsigned long window) const {
    DisplayPtr d = openDisplay(m_display);
    return d ? nameOf(d.get(), window) : std::string();
}

Desktop::Image Desktop::grab(Rect r) const {
    Image image;
    DisplayPtr d = openDisplay(m_display);
    if (!d)
        return image;
    const int screen = DefaultScreen(d.get());
    if (r.empty())
        r = Rect{0, 0, DisplayWidth(d.get(), screen), DisplayHeight(d.get(), screen)};
    XImage* x =
        XGetImage(d.get(), DefaultRootWindow(d.get()), r.x, r.y, static_cast<unsigned>(r.width),
                  static_cast<unsigned>(r.height), AllPlanes, ZPixmap);
    if (!x)
        return image;
    image.width = r.width;
    image.height = r.height;
    image.rgb.resize(static_cast<size_t>(r.width) * r.height);
    for (int yy = 0; yy < r.height; ++yy)
        for (int xx = 0; xx < r.width; ++xx)
            image.rgb[static_cast<size_t>(yy) * r.width + xx] =
                static_cast<uint32_t>(XGetPixel(x, xx, yy)) & 0xFFFFFFu;
    XDestroyImage(x);
    return image;
}

bool Desktop::savePng(const Image& image, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<unsigned char> row(static_cast<size_t>(image.width) * 3);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const uint32_t p = image.at(x, y);
            row[static_cast<size_t>(x) * 3] = static_cast<unsigned char>(p >> 16);
            row[static_cast<size_t>(x) * 3 + 1] = static_cast<unsigned char>(p >> 8);
            row[static_cast<size_t>(x) * 3 + 2] = static_cast<unsigned char>(p);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fclose(f) == 0;
}

bool Desktop::addMonitor(int width, int height) {
    // Xvfb's screen cannot grow past its start size and ignores monitors set by hand: this
    // holds only on a server that can, and says so by its answer.
    const int newWidth = m_right + width;
    const int newHeight = std::max(m_options.height, height);
    if (run({"xrandr", "--fb", std::to_string(newWidth) + "x" + std::to_string(newHeight)}) != 0)
        return false;
    const std::string name = "tlv-" + std::to_string(m_monitors);
    run({"xrandr", "--setmonitor", name,
         std::to_string(width) + "/300x" + std::to_string(height) + "/200+" +
             std::to_string(m_right) + "+0",
         "none"});
    std::string out;
    if (run({"xrandr", "--listmonitors"}, &out) != 0 || out.find(name) == std::string::npos)
        return false;
    m_right = newWidth;
    ++m_monitors;
    return true;
}

} // namespace tlv::test
