#pragma once

#include <functional>
#include <vector>

// Whether decoded frames are arriving, whatever transport delivers them. The decoder marks every
// frame; a 100 ms timer ticks. On the third tick without a mark the indicator falls back to idle,
// runs the attached fall-back checks and starts counting again, so while no frames come the
// checks run on every third tick.
class ConnectionIndicator {
public:
    using Check = std::function<void()>;
    using Listener = std::function<void(bool active)>;

    // Frame mark: active, NoFrameTicks = 0.
    void frameMark();
    // ConTimerTimer: one 100 ms tick.
    void tick();

    bool active() const { return m_active; }
    int noFrameTicks() const { return m_noFrameTicks; }

    // A check to run on each tick on which the indicator falls back (the HID cable attaches its
    // idle check). Returns an id for removeFallBackCheck.
    int addFallBackCheck(Check check);
    // Removes a check; an unknown id is ignored.
    void removeFallBackCheck(int id);

    // Told when the shown icon changes (active or idle). One listener; null clears it.
    void setListener(Listener listener) { m_listener = std::move(listener); }

private:
    void show(bool active);

    bool m_active = false;
    int m_noFrameTicks = 0;
    int m_nextId = 1;
    std::vector<std::pair<int, Check>> m_checks;
    Listener m_listener;
};
