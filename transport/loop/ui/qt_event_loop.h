#pragma once

#include <memory>

#include "transport/loop/event_loop.h"

// The window's event loop: a QSocketNotifier per watched descriptor and QTimers, all on the
// thread that calls this (the UI thread), so frames, reports and device changes are handled
// inside the Qt event loop, one at a time, beside no other UI work. requestStop() quits the
// application. Never fails.
std::unique_ptr<EventLoop> createQtEventLoop();
