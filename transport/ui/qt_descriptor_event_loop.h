#pragma once

#include "transport/descriptor_event_loop.h"

// The HID controller's event side in the window: a QSocketNotifier per watched descriptor and
// QTimers, all on the thread that creates them (the UI thread), so reports and device changes
// are handled inside the event loop, one at a time, beside no other UI work.
class QtDescriptorEventLoop final : public DescriptorEventLoop {
public:
    std::unique_ptr<DescriptorWatch> watchReadable(int fd,
                                                   std::function<void()> onReadable) override;
    std::unique_ptr<LoopTimer> createTimer() override;
};
