#pragma once

#include <functional>
#include <string>
#include <vector>

// The exclusive toggle group of the top bar ("COM Connect", "USB Connect " and the HID
// buttons). At most one member is shown down; a click toggles its member and runs that member's
// handler with the new state. Pressing one first releases the member shown down and runs its
// handler with false (its transport ends, as a click on its own button would end it), so a
// button shown down is always the one link that runs.
class ExclusiveToggleGroup {
public:
    using Handler = std::function<void(bool down)>;

    // Adds a member, shown released; returns its index. The handler may be empty.
    int add(std::string name, Handler handler);
    // Replaces a member's handler (a transport built after the group binds its own).
    void setHandler(int member, Handler handler) {
        m_members.at(member).handler = std::move(handler);
    }
    // A user's click on a member (index must be valid). Pressing it down first ends the member
    // shown down (released, its handler run with false), then runs this member's handler.
    void click(int member);
    // Shows a member down or released without running any handler; down releases the others
    // (for a link's own state changes: a failed open, a removed device).
    void setDown(int member, bool down);
    bool isDown(int member) const { return m_members.at(member).down; }
    const std::string& name(int member) const { return m_members.at(member).name; }
    int size() const { return static_cast<int>(m_members.size()); }

    // Called after every change of what is shown (to repaint buttons).
    std::function<void()> onChanged;
    // Called when a click presses a member down, before its handler opens the transport: a new
    // connection begins.
    std::function<void(int member)> onConnecting;

private:
    void releaseAndRun(int member);

    struct Member {
        std::string name;
        Handler handler;
        bool down = false;
    };
    std::vector<Member> m_members;
};
