#include "lcd/connection_indicator.h"

#include <algorithm>

void ConnectionIndicator::frameMark() {
    m_noFrameTicks = 0;
    show(true);
}

void ConnectionIndicator::tick() {
    if (m_noFrameTicks != 2) {
        ++m_noFrameTicks;
        return;
    }
    // A check may add or remove checks; run over a copy.
    const auto checks = m_checks;
    for (const auto& entry : checks) {
        entry.second();
    }
    show(false);
    m_noFrameTicks = 0;
}

int ConnectionIndicator::addFallBackCheck(Check check) {
    const int id = m_nextId++;
    m_checks.emplace_back(id, std::move(check));
    return id;
}

void ConnectionIndicator::removeFallBackCheck(int id) {
    std::erase_if(m_checks, [id](const auto& entry) { return entry.first == id; });
}

void ConnectionIndicator::show(bool active) {
    const bool changed = active != m_active;
    m_active = active;
    if (changed && m_listener) {
        m_listener(active);
    }
}
