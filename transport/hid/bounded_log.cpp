#include "transport/hid/bounded_log.h"

void BoundedLog::add(std::string_view line) {
    if (m_size < m_capacity) {
        const std::size_t slot = (m_head + m_size) % m_capacity;
        if (slot < m_lines.size()) {
            m_lines[slot].assign(line);  // a slot kept from before a clear
        } else {
            m_lines.emplace_back(line);
        }
        ++m_size;
    } else {
        m_lines[m_head].assign(line);
        m_head = (m_head + 1) % m_capacity;
    }
    ++m_end;
}

void BoundedLog::clear() {
    m_head = 0;
    m_size = 0;
}
