// The headless event loop: periodic and one-shot timers, posted tasks, a stop from another
// thread, and the stop signals taken as a stop instead of ending the process.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "transport/loop/event_loop.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

TEST(PollEventLoopTest, TimersTickAndPostedTasksRunAfterTheEventInOrder) {
    const auto loop = createHeadlessEventLoop();
    std::vector<std::string> seen;
    auto periodic = loop->createTimer();
    auto once = loop->createTimer();
    int ticks = 0;
    periodic->startPeriodic(5, [&] {
        seen.push_back("tick");
        if (++ticks == 3) {
            periodic->stop();  // from its own callback: no further tick
            loop->post([&] { seen.push_back("after 1"); });
            loop->post([&] {
                seen.push_back("after 2");
                loop->post([&] { seen.push_back("later"); });
            });
        }
    });
    once->start(1, [&] { seen.push_back("once"); });
    loop->run(Clock::now() + milliseconds(2000));  // returns when nothing is left to do
    EXPECT_EQ(seen, (std::vector<std::string>{"once", "tick", "tick", "tick", "after 1", "after 2",
                                              "later"}));
    EXPECT_FALSE(periodic->isActive());
    EXPECT_FALSE(once->isActive());
}

TEST(PollEventLoopTest, ADescriptorWakesTheLoopAndAStopFromAnotherThreadEndsRun) {
    const auto loop = createHeadlessEventLoop();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::string got;
    auto watch = loop->watchReadable(fds[0], [&] {
        char c;
        if (::read(fds[0], &c, 1) == 1) {
            got += c;
        }
    });
    std::thread other([&] {
        std::this_thread::sleep_for(milliseconds(20));
        ASSERT_EQ(::write(fds[1], "x", 1), 1);
        std::this_thread::sleep_for(milliseconds(50));
        loop->requestStop();
    });
    const auto start = Clock::now();
    loop->run();  // no deadline: only the stop ends it
    other.join();
    EXPECT_EQ(got, "x");
    EXPECT_LT(Clock::now() - start, milliseconds(5000));
    watch.reset();
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(PollEventLoopTest, StopSignalsEndRunAndTheirHandlingComesBackWithTheLoop) {
    sigset_t before;
    sigprocmask(SIG_SETMASK, nullptr, &before);
    {
        const auto loop = createHeadlessEventLoop();
        ASSERT_TRUE(loop->stopOnSignals());
        auto keepAlive = loop->createTimer();
        keepAlive->startPeriodic(1000, [] {});
        auto signal = loop->createTimer();
        signal->start(10, [] { ::kill(::getpid(), SIGTERM); });
        const auto start = Clock::now();
        loop->run(start + milliseconds(5000));
        // Still here, and early: the signal ended the loop, not the process.
        EXPECT_LT(Clock::now() - start, milliseconds(4000));
        // One more while no run() takes it: it is the loop's still, not the process's.
        ::kill(::getpid(), SIGINT);
    }
    sigset_t after;
    sigprocmask(SIG_SETMASK, nullptr, &after);
    EXPECT_EQ(sigismember(&after, SIGTERM), sigismember(&before, SIGTERM));
    EXPECT_EQ(sigismember(&after, SIGINT), sigismember(&before, SIGINT));
}

}  // namespace
