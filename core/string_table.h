#pragma once

#include <cstdint>
#include <span>

namespace tlv {

struct StringEntry {
    int32_t id;
    const char* text;
};

// The fixed text that scrambles the stored deactivation password: never change it, or the
// stored passwords no longer read back.
constexpr int32_t kStrPasswordKey = 10005;

// Ids of the texts the Linux client adds to the table (above the classic range).
enum : int32_t {
    kStrWaylandRefused = 10364,
    kStrWaylandHint = 10365,
    kStrServerLost = 10366,
    kStrFollowingServer = 10367,
};

// The built-in English string table, sorted by id.
std::span<const StringEntry> builtinStrings();
// nullptr when the table has no text for the id.
const char* builtinString(int32_t id);

} // namespace tlv
