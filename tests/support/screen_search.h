#pragma once

#include "tests/support/desktop.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace tlv::test {

using Rect = Desktop::Rect;
using Image = Desktop::Image;

struct Point {
    int x = 0, y = 0;
};
inline Point centre(const Rect& r) {
    return {r.x + r.width / 2, r.y + r.height / 2};
}
inline Rect offset(Rect r, int dx, int dy) {
    r.x += dx;
    r.y += dy;
    return r;
}
inline bool contains(const Rect& outer, const Rect& inner) {
    return inner.x >= outer.x && inner.y >= outer.y &&
           inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

// Every channel within TOLERANCE.
bool near(uint32_t a, uint32_t b, int tolerance);

// The bounding boxes of the connected areas whose pixels are near one of COLOURS, at least
// MINWIDTH x MINHEIGHT, in reading order (rows top to bottom, each left to right), in the
// image's coordinates. Text drawn on a box leaves holes in it, not gaps in its outline.
std::vector<Rect> findBoxes(const Image& image, const std::vector<uint32_t>& colours, int tolerance,
                            int minWidth, int minHeight);
// The same for the pixels (0xRRGGBB) that MATCH.
std::vector<Rect> findBoxes(const Image& image, const std::function<bool(uint32_t)>& match,
                            int minWidth, int minHeight);

// How many pixels of R (image coordinates) are near COLOUR.
int countNear(const Image& image, const Rect& r, uint32_t colour, int tolerance);

// How many pixels differ (by more than TOLERANCE) between two grabs of the same size.
int countDifferent(const Image& a, const Image& b, int tolerance = 24);

} // namespace tlv::test
