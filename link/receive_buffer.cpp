#include "link/receive_buffer.h"

#include "link/message.h"

#include <algorithm>

namespace tlv {

void ReceiveBuffer::append(std::string_view bytes) {
    if (m_head > 0 && m_head >= m_data.size() - m_head) {
        m_data.erase(0, m_head);
        m_scan -= std::min(m_scan, m_head);
        m_head = 0;
    }
    m_data.append(bytes);
}

bool ReceiveBuffer::next(std::string& out) {
    const std::string_view end = tok::kMessageEnd;
    const size_t from = std::max(m_head, m_scan);
    const size_t pos = m_data.find(end, from);
    if (pos == std::string::npos) {
        // An end token may straddle this read and the next: keep its possible start.
        const size_t keep = end.size() - 1;
        m_scan = std::max(m_head, m_data.size() > keep ? m_data.size() - keep : 0);
        return false;
    }
    const size_t stop = pos + end.size();
    out.assign(m_data, m_head, stop - m_head);
    m_head = stop;
    m_scan = stop;
    if (m_head == m_data.size()) {
        m_data.clear();
        m_head = m_scan = 0;
    }
    return true;
}

std::string ReceiveBuffer::take() {
    std::string out(pending());
    clear();
    return out;
}

void ReceiveBuffer::clear() {
    m_data.clear();
    m_head = m_scan = 0;
}

} // namespace tlv
