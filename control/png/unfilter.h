#pragma once

#include <cstddef>
#include <cstdint>

namespace tlv::png {

// Bytes that row and prev must stay readable and writable past len: the vector paths load
// and store whole words and leave the bytes beyond the row unchanged.
constexpr size_t kRowPadding = 16;

// Undoes one line filter of filter method 0 in place. prev is the previous, already
// unfiltered line (zeros for the first). An unknown filter type leaves the line as it is.
void unfilterRow(uint8_t filter, uint8_t* row, const uint8_t* prev, size_t len, unsigned bpp);

// Undoes Paeth on two consecutive lines at once (row1 follows row0, both filtered with
// Paeth), for 1 to 4 bytes per pixel. Returns false, having done nothing, where it does not
// apply.
bool unfilterPaethPair(uint8_t* row0, uint8_t* row1, const uint8_t* prev, size_t len, unsigned bpp);

// The same for four consecutive Paeth lines stride bytes apart, where the processor allows.
bool unfilterPaethRun4(uint8_t* row0, size_t stride, const uint8_t* prev, size_t len, unsigned bpp);

} // namespace tlv::png
