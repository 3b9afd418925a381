// The window's publishers started and finished off its thread, one run after the other, on
// clients that are slow to start and to stop as a name lookup and a silent broker make them.
#include "app/outputs/publisher_runs.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recording/table_store.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// What the clients did, in order ("A start", "A stop", ...), shared with runs that may outlive
// the test's scope.
struct Journal {
    std::mutex mutex;
    std::vector<std::string> events;
    void add(std::string e) {
        std::lock_guard lock(mutex);
        events.push_back(std::move(e));
    }
    std::vector<std::string> all() {
        std::lock_guard lock(mutex);
        return events;
    }
};

// Connected as soon as it started; every message is delivered at once.
class SlowClient final : public MqttClient {
public:
    SlowClient(std::string name, std::shared_ptr<Journal> journal, milliseconds startTime,
               milliseconds stopTime, std::string startFailure = {})
        : m_name(std::move(name)),
          m_journal(std::move(journal)),
          m_startTime(startTime),
          m_stopTime(stopTime),
          m_failure(std::move(startFailure)) {}

    bool start(std::string& reason) override {
        std::this_thread::sleep_for(m_startTime);
        m_journal->add(m_name + " start");
        if (!m_failure.empty()) {
            reason = m_failure;
            return false;
        }
        onConnection(true, "");
        return true;
    }
    bool publish(const std::string& topic, const std::string&, int, bool, int& mid) override {
        std::lock_guard lock(m_mutex);
        mid = ++m_mid;
        if (topic.ends_with("/reading")) {
            m_journal->add(m_name + " row");
        }
        onDelivered(mid);
        return true;
    }
    void stop() override {
        std::this_thread::sleep_for(m_stopTime);
        m_journal->add(m_name + " stop");
    }

private:
    std::string m_name;
    std::shared_ptr<Journal> m_journal;
    milliseconds m_startTime;
    milliseconds m_stopTime;
    std::string m_failure;
    std::mutex m_mutex;
    int m_mid = 0;
};

std::unique_ptr<MqttPublisher> publisherOn(std::unique_ptr<MqttClient> client) {
    return std::make_unique<MqttPublisher>(
        std::move(client), "m1", 0,
        [](const TableStore&, std::size_t row, std::string& out) { out += std::to_string(row); });
}

template <class F>
bool eventually(F condition) {
    const auto end = Clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
}

TEST(PublisherRunsTest, NothingWaitsAndRunsFollowOneAnother) {
    auto journal = std::make_shared<Journal>();
    PublisherRuns runs;
    const TableStore table;

    auto t0 = Clock::now();
    std::shared_ptr<PublisherRuns::Run> a = runs.start(publisherOn(
        std::make_unique<SlowClient>("A", journal, milliseconds(300), milliseconds(300))));
    // Rows come before the client runs: they wait in the publisher's queue.
    a->sink().rowRecorded(table, 1);
    a->sink().rowRecorded(table, 2);
    EXPECT_FALSE(a->started());
    runs.finish(a, 2);
    std::shared_ptr<PublisherRuns::Run> b = runs.start(
        publisherOn(std::make_unique<SlowClient>("B", journal, milliseconds(0), milliseconds(0))));
    b->sink().rowRecorded(table, 3);
    EXPECT_LT(Clock::now() - t0, milliseconds(150));  // the caller never waited for a client

    ASSERT_TRUE(eventually([&] { return b->started() && b->status().published == 1; }));
    // A said goodbye before B came: two clients of one meter id never meet at the broker.
    const std::vector<std::string> expected = {"A start", "A row",   "A row",
                                               "A stop",  "B start", "B row"};
    EXPECT_EQ(journal->all(), expected);
    EXPECT_TRUE(a->started());
    EXPECT_EQ(a->status().published, 2u);
    EXPECT_TRUE(a->startFailure().empty());
}

TEST(PublisherRunsTest, AStartFailureIsToldAndTheEndWaitIsBounded) {
    auto journal = std::make_shared<Journal>();
    std::shared_ptr<PublisherRuns::Run> failed;
    std::shared_ptr<PublisherRuns::Run> stuck;
    Clock::time_point ending;
    {
        PublisherRuns runs;
        runs.endWait = milliseconds(200);
        failed = runs.start(publisherOn(std::make_unique<SlowClient>(
            "F", journal, milliseconds(0), milliseconds(0), "cannot use the CA file x")));
        ASSERT_TRUE(eventually([&] { return !failed->startFailure().empty(); }));
        EXPECT_EQ(failed->startFailure(), "cannot use the CA file x");
        EXPECT_FALSE(failed->started());
        runs.finish(failed, 1);

        // A goodbye that takes long (a broker that does not answer) holds the end up only a
        // little.
        stuck = runs.start(publisherOn(
            std::make_unique<SlowClient>("S", journal, milliseconds(0), milliseconds(3000))));
        ASSERT_TRUE(eventually([&] { return stuck->started(); }));
        runs.finish(stuck, 0);
        ending = Clock::now();
    }
    EXPECT_LT(Clock::now() - ending, milliseconds(1000));
}

}  // namespace
