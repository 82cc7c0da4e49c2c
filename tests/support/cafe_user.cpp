#include "tests/support/cafe_user.h"

#include <algorithm>
#include <cstdlib>

namespace tlv::test {

namespace {

constexpr int kTolerance = 6;

bool sameRow(const Rect& a, const Rect& b) {
    return std::abs(a.y - b.y) <= 3 && std::abs(a.height - b.height) <= 3;
}

std::vector<Rect> toRoot(std::vector<Rect> boxes, const Rect& window) {
    for (Rect& r : boxes)
        r = offset(r, window.x, window.y);
    return boxes;
}

// A box whose outline carries the focus ring's colour.
bool ringed(const Image& image, const Rect& r) {
    int hits = 0;
    for (int x = r.x; x < r.x + r.width; ++x)
        for (int y :
             {r.y - 1, r.y, r.y + 1, r.y + r.height - 2, r.y + r.height - 1, r.y + r.height})
            if (x >= 0 && y >= 0 && x < image.width && y < image.height &&
                near(image.at(x, y), look::kAccent, 30))
                ++hits;
    return hits > r.width / 2;
}

} // namespace

unsigned long ScreenUser::lockScreenWindow() const {
    for (unsigned long w : m_d.windows("^Talvor Client$", m_pid)) {
        if (!m_d.viewable(w))
            continue;
        // The lock screen covers its whole screen; the main form does not.
        const Rect g = m_d.geometry(w);
        if (g.x == 0 && g.y == 0 && g.width == m_screen.width && g.height == m_screen.height)
            return w;
    }
    return 0;
}

LockScreenView ScreenUser::lockScreen() const {
    LockScreenView v;
    const unsigned long w = lockScreenWindow();
    if (!w)
        return v;
    v.window = m_d.geometry(w);
    const Image img = m_d.grab(v.window);
    if (img.width == 0)
        return v;
    v.shown = true;
    const int header = img.height / 10;

    // Tiles: a row of at least two boxes of the same height below the header.
    const auto tileLike = findBoxes(
        img, {look::kTile, look::kTileFocused, look::kTileChecked, look::kTileCheckedFocused},
        kTolerance, img.width / 40, 16);
    for (size_t i = 0; i < tileLike.size() && v.tiles.empty(); ++i) {
        if (tileLike[i].y < header)
            continue;
        std::vector<Rect> row = {tileLike[i]};
        for (size_t j = i + 1; j < tileLike.size(); ++j)
            if (sameRow(tileLike[i], tileLike[j]))
                row.push_back(tileLike[j]);
        if (row.size() >= 2)
            v.tiles = row;
    }
    for (size_t i = 0; i < v.tiles.size(); ++i)
        if (countNear(img, v.tiles[i], look::kTileChecked, kTolerance) +
                countNear(img, v.tiles[i], look::kTileCheckedFocused, kTolerance) >
            countNear(img, v.tiles[i], look::kTile, kTolerance) +
                countNear(img, v.tiles[i], look::kTileFocused, kTolerance))
            v.chosen = static_cast<int>(i);
    for (const Rect& r : tileLike)
        if (r.y + r.height <= header)
            v.language = r;

    for (const Rect& r : findBoxes(img, {look::kField}, 3, img.width / 20, 14)) {
        if (r.y < header)
            continue;
        if (ringed(img, r))
            v.focused = static_cast<int>(v.fields.size());
        v.fields.push_back(r);
    }
    const auto primary = findBoxes(img, {look::kPrimary, look::kPrimaryHover}, kTolerance, 30, 14);
    if (!primary.empty())
        v.primary = *std::max_element(primary.begin(), primary.end(), [](auto& a, auto& b) {
            return a.width * a.height < b.width * b.height;
        });
    v.buttons =
        findBoxes(img, {look::kButton, look::kButtonHover, look::kDanger, look::kDangerHover},
                  kTolerance, 30, 14);
    // The logo: the topmost large blue picture below the header (the default logo's badge).
    const int side = std::max(24, img.height / 20);
    for (const Rect& r : findBoxes(
             img,
             [](uint32_t p) {
                 const int red = (p >> 16) & 0xff, green = (p >> 8) & 0xff, blue = p & 0xff;
                 return blue > 150 && blue - red > 80 && green > 90;
             },
             side, side))
        if (r.y >= header && (!v.logo || r.y < v.logo->y))
            v.logo = r;

    v.tiles = toRoot(v.tiles, v.window);
    v.fields = toRoot(v.fields, v.window);
    v.buttons = toRoot(v.buttons, v.window);
    if (v.primary)
        v.primary = offset(*v.primary, v.window.x, v.window.y);
    if (v.language)
        v.language = offset(*v.language, v.window.x, v.window.y);
    if (v.logo)
        v.logo = offset(*v.logo, v.window.x, v.window.y);
    return v;
}

LockScreenView ScreenUser::waitLockScreen(const std::function<bool(const LockScreenView&)>& ready,
                                          int timeoutMs) const {
    LockScreenView v;
    waitUntil(
        [&] {
            v = lockScreen();
            return v.shown && ready(v);
        },
        timeoutMs, 100);
    return v;
}

WindowView ScreenUser::window(const std::string& nameRegex) const {
    WindowView v;
    for (unsigned long w : m_d.windows(nameRegex, m_pid))
        if (m_d.viewable(w)) {
            v.id = w;
            break;
        }
    if (!v.id)
        return v;
    v.window = m_d.geometry(v.id);
    // What of it is on the screen; a window partly off the screen is still seen.
    const int x0 = std::max(v.window.x, m_screen.x), y0 = std::max(v.window.y, m_screen.y);
    const int x1 = std::min(v.window.x + v.window.width, m_screen.x + m_screen.width);
    const int y1 = std::min(v.window.y + v.window.height, m_screen.y + m_screen.height);
    if (x1 <= x0 || y1 <= y0)
        return v;
    const Rect seen{x0, y0, x1 - x0, y1 - y0};
    const Image img = m_d.grab(seen);
    if (img.width == 0)
        return v;
    v.shown = true;
    v.primary =
        toRoot(findBoxes(img, {look::kPrimary, look::kPrimaryHover}, kTolerance, 24, 14), seen);
    v.buttons =
        toRoot(findBoxes(img, {look::kButton, look::kButtonHover}, kTolerance, 24, 14), seen);
    v.danger =
        toRoot(findBoxes(img, {look::kDanger, look::kDangerHover}, kTolerance, 24, 14), seen);
    v.fields = toRoot(findBoxes(img, {look::kField}, 3, 40, 14), seen);
    v.allButtons = toRoot(findBoxes(img,
                                    {look::kPrimary, look::kPrimaryHover, look::kButton,
                                     look::kButtonHover, look::kDanger, look::kDangerHover},
                                    kTolerance, 24, 14),
                          seen);
    return v;
}

WindowView ScreenUser::waitWindow(const std::string& nameRegex,
                                  const std::function<bool(const WindowView&)>& ready,
                                  int timeoutMs) const {
    WindowView v;
    waitUntil(
        [&] {
            v = window(nameRegex);
            return v.shown && ready(v);
        },
        timeoutMs, 100);
    return v;
}

void ScreenUser::click(const Rect& r, int button) const {
    const Point c = centre(r);
    m_d.click(c.x, c.y, button);
}

bool ScreenUser::clickAndSee(const Rect& r, const Rect& watch, int timeoutMs) const {
    const Image before = m_d.grab(watch);
    click(r);
    return waitUntil([&] { return countDifferent(before, m_d.grab(watch)) > 50; }, timeoutMs);
}

void ScreenUser::ctrlAltClick(const Rect& r) const {
    const Point c = centre(r);
    m_d.run({"xdotool", "mousemove", std::to_string(c.x), std::to_string(c.y), "keydown",
             "ctrl+alt", "click", "1", "keyup", "ctrl+alt"});
}

} // namespace tlv::test
