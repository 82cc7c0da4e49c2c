#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tlv {

// Wire bytes received and not yet cut into messages. Cutting is linear in the bytes received:
// the search for the end token resumes where it stopped, whole messages are consumed by moving
// a read position, and the consumed front is dropped only once it outweighs the rest.
class ReceiveBuffer {
public:
    void append(std::string_view bytes);
    // Cuts the next whole message (end token included) into out; false when none is complete.
    bool next(std::string& out);
    // Bytes waiting for their end token.
    size_t size() const { return m_data.size() - m_head; }
    bool empty() const { return size() == 0; }
    std::string_view pending() const { return std::string_view(m_data).substr(m_head); }
    // Hands the pending bytes over (to the temp-file mode) and empties the buffer.
    std::string take();
    void clear();

private:
    std::string m_data;
    size_t m_head = 0; // first byte not yet consumed
    size_t m_scan = 0; // the end token cannot start before this position
};

} // namespace tlv
