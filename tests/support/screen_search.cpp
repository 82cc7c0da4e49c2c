#include "tests/support/screen_search.h"

#include <algorithm>
#include <cstdlib>

namespace tlv::test {

bool near(uint32_t a, uint32_t b, int tolerance) {
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 0xff) -
                     static_cast<int>((b >> shift) & 0xff)) > tolerance)
            return false;
    return true;
}

std::vector<Rect> findBoxes(const Image& image, const std::vector<uint32_t>& colours, int tolerance,
                            int minWidth, int minHeight) {
    return findBoxes(
        image,
        [&](uint32_t pixel) {
            for (uint32_t c : colours)
                if (near(pixel, c, tolerance))
                    return true;
            return false;
        },
        minWidth, minHeight);
}

std::vector<Rect> findBoxes(const Image& image, const std::function<bool(uint32_t)>& matches,
                            int minWidth, int minHeight) {
    const int w = image.width, h = image.height;
    std::vector<uint8_t> seen(static_cast<size_t>(w) * h, 0);
    auto match = [&](int i) { return matches(image.rgb[i] & 0xffffff); };
    std::vector<Rect> boxes;
    std::vector<int> stack;
    for (int start = 0; start < w * h; ++start) {
        if (seen[start] || !match(start))
            continue;
        int x0 = w, y0 = h, x1 = -1, y1 = -1;
        seen[start] = 1;
        stack.push_back(start);
        while (!stack.empty()) {
            const int i = stack.back();
            stack.pop_back();
            const int x = i % w, y = i / w;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
            const int next[4] = {x > 0 ? i - 1 : -1, x + 1 < w ? i + 1 : -1, y > 0 ? i - w : -1,
                                 y + 1 < h ? i + w : -1};
            for (int n : next)
                if (n >= 0 && !seen[n] && match(n)) {
                    seen[n] = 1;
                    stack.push_back(n);
                }
        }
        if (x1 - x0 + 1 >= minWidth && y1 - y0 + 1 >= minHeight)
            boxes.push_back({x0, y0, x1 - x0 + 1, y1 - y0 + 1});
    }
    // Reading order: a box belongs to the row of the box above it when their heights overlap
    // by half.
    std::sort(boxes.begin(), boxes.end(), [](const Rect& a, const Rect& b) { return a.y < b.y; });
    std::vector<Rect> out;
    for (size_t i = 0; i < boxes.size();) {
        size_t j = i + 1;
        const int rowMid = boxes[i].y + boxes[i].height / 2;
        while (j < boxes.size() && boxes[j].y <= rowMid)
            ++j;
        std::sort(boxes.begin() + static_cast<long>(i), boxes.begin() + static_cast<long>(j),
                  [](const Rect& a, const Rect& b) { return a.x < b.x; });
        out.insert(out.end(), boxes.begin() + static_cast<long>(i),
                   boxes.begin() + static_cast<long>(j));
        i = j;
    }
    return out;
}

int countNear(const Image& image, const Rect& r, uint32_t colour, int tolerance) {
    int n = 0;
    for (int y = std::max(0, r.y); y < std::min(image.height, r.y + r.height); ++y)
        for (int x = std::max(0, r.x); x < std::min(image.width, r.x + r.width); ++x)
            n += near(image.at(x, y), colour, tolerance) ? 1 : 0;
    return n;
}

int countDifferent(const Image& a, const Image& b, int tolerance) {
    if (a.width != b.width || a.height != b.height)
        return a.width * a.height;
    int n = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i)
        n += near(a.rgb[i] & 0xffffff, b.rgb[i] & 0xffffff, tolerance) ? 0 : 1;
    return n;
}

} // namespace tlv::test
