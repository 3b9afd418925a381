#include "app/toggle_group.h"

int ExclusiveToggleGroup::add(std::string name, Handler handler) {
    m_members.push_back({std::move(name), std::move(handler), false});
    return static_cast<int>(m_members.size()) - 1;
}

void ExclusiveToggleGroup::setDown(int member, bool down) {
    if (down) {
        for (Member& m : m_members) {
            m.down = false;
        }
    }
    m_members.at(member).down = down;
    if (onChanged) {
        onChanged();
    }
}

void ExclusiveToggleGroup::click(int member) {
    const bool down = !m_members.at(member).down;
    if (down) {
        // The link shown down is ended first, exactly as a click on its own button would end
        // it: two links never feed one table, and every button shows what runs.
        for (int other = 0; other < size(); ++other) {
            if (other != member && m_members[other].down) {
                releaseAndRun(other);
            }
        }
    }
    setDown(member, down);
    if (down && onConnecting) {
        onConnecting(member);
    }
    // Copy: the handler may add members, which would move the vector under it.
    const Handler handler = m_members[member].handler;
    if (handler) {
        handler(down);
    }
}

void ExclusiveToggleGroup::releaseAndRun(int member) {
    setDown(member, false);
    const Handler handler = m_members[member].handler;
    if (handler) {
        handler(false);
    }
}
