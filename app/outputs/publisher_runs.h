#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "net/mqtt_publisher.h"

// The window's publishers, each started and finished on a thread of the runs' own: a client's
// start looks the broker's name up and its end says goodbye to a broker that may not answer,
// and either can take seconds that the window (and the reading on its thread) must not wait.
// Runs go one after the other: a run starts only once the one before it has finished, so two
// clients of the same meter id never push each other off the broker.
class PublisherRuns {
public:
    // One publisher's life. Its rows queue from the moment it exists, before it is started.
    class Run {
    public:
        explicit Run(std::unique_ptr<MqttPublisher> publisher)
            : m_publisher(std::move(publisher)) {}
        // The row sink of the recording and the publisher's other parts (the reading thread
        // only); it lives on until its finish is done.
        MqttPublisher& publisher() { return *m_publisher; }
        RowSink& sink() { return *m_publisher; }
        MqttPublisher::Status status() const { return m_publisher->status(); }
        // Whether the client runs; startFailure() says why it could not (empty otherwise).
        bool started() const;
        std::string startFailure() const;

    private:
        friend class PublisherRuns;
        std::shared_ptr<MqttPublisher> m_publisher;
        mutable std::mutex m_mutex;
        bool m_started = false;
        std::string m_failure;
    };

    PublisherRuns();
    // Waits for the runs still going to finish, at most endWait; what is left then ends on its
    // own (the process may end first).
    ~PublisherRuns();
    PublisherRuns(const PublisherRuns&) = delete;
    PublisherRuns& operator=(const PublisherRuns&) = delete;

    // Starts a run of the publisher after the runs before it; returns at once.
    std::shared_ptr<Run> start(std::unique_ptr<MqttPublisher> publisher);
    // Finishes a run (taken out of the recording's sinks first): the rows it holds are sent for
    // up to drainSeconds while connected, then it says offline. Returns at once.
    void finish(const std::shared_ptr<Run>& run, double drainSeconds);
    // Whether every run handed over has started or finished as asked.
    bool idle() const;

    std::chrono::milliseconds endWait{3000};

private:
    struct Worker;
    void post(std::function<void()> task);

    std::shared_ptr<Worker> m_worker;  // made with its thread at the first start
};
