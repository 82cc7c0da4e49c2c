#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tlv::png {

enum class InflateStatus {
    Done,       // the final block ended
    OutputFull, // the output buffer is full; what was written is valid
    Truncated,  // the input ended inside the stream
    BadData,    // an invalid code, block type 3, a distance before the start, ...
};

struct InflateResult {
    InflateStatus status = InflateStatus::BadData;
    size_t written = 0; // bytes written to the output, valid whatever the status
};

// Raw DEFLATE data into one caller-sized buffer. Never reads or writes outside the two
// buffers and always ends: every step consumes input bits or fails.
InflateResult inflateRaw(const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen);

// A zlib stream: the two header bytes are skipped unchecked and the Adler-32 is not read.
InflateResult inflateZlib(const uint8_t* in, size_t inLen, uint8_t* out, size_t outLen);

// For data of unknown size (compressed text): grows the output up to maxOut bytes.
// Returns the status of the last attempt; out holds the bytes written.
InflateStatus inflateZlibToVector(const uint8_t* in, size_t inLen, std::vector<uint8_t>& out,
                                  size_t maxOut);

} // namespace tlv::png
