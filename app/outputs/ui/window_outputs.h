#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/outputs/output_settings.h"
#include "app/outputs/publisher_runs.h"

class EventLoop;
class LastRowInstrument;
class MeterSession;
class QTimer;
class ScpiServer;

// The window's network outputs on its meter session: the broker's publisher ("Record" >
// "Publish…") and the SCPI server ("Record" > "SCPI server…"). Each is a row sink of the
// session's recording while it is on; the publisher starts and ends on a thread of its own, the
// server runs on the session's loop. The settings are kept in the program's settings file; the
// broker's password only when the user asks for it, otherwise for this session only. The state
// of both is polled on a timer and told through statusChanged.
class WindowOutputs : public QObject {
    Q_OBJECT
public:
    // settingsPath: the program's settings file; version: the program's, for *IDN?.
    WindowOutputs(MeterSession& session, QString settingsPath, std::string version,
                  QObject* parent = nullptr);
    // Ends both: the publisher sends what it holds (a little while) and says offline.
    ~WindowOutputs() override;

    // $XDG_CONFIG_HOME/halvern/halvern.conf (~/.config/... without it).
    static QString defaultSettingsPath();
    QString settingsPath() const { return m_settingsPath; }

    // The meter id when the form leaves it empty: the device of the link in use.
    std::function<std::string()> defaultMeterId;
    // The USB serial number of the link's device, for *IDN?; empty when it has none ("0").
    std::function<std::string()> deviceSerial;
    std::string currentDefaultMeterId() const;

    // Starts what the settings file says was on. A password that was kept for the last session
    // only is not there: publishing then waits for it, and the status says so.
    void restore();

    // The form as the dialog shows it: never the password, only whether one is set.
    PublishForm publishForm() const;
    // Checks the form, keeps it and starts, restarts or stops publishing. Fails with the field
    // and the reason; nothing changes then.
    std::optional<FormProblem> applyPublish(const PublishForm& form);

    ScpiForm scpiForm() const;
    // Checks the form and (re)starts or stops the server; a port in use or an address the
    // system refuses fails with the reason, the server as it was.
    std::optional<FormProblem> applyScpi(const ScpiForm& form);

    // Both ended now (the window closes).
    void stopAll();

    // For the window and tests.
    bool publishing() const { return m_run != nullptr; }
    ScpiServer* scpiServer() const { return m_server.get(); }
    QString statusLine() const { return m_line; }
    QString statusDetail() const { return m_detail; }
    bool statusTrouble() const { return m_trouble; }
    QTimer* statusTimer() const { return m_timer; }
    PublisherRuns& runs() { return m_runs; }
    // Reads the outputs' state now (the timer does it every kPollMs).
    void refreshStatus();
    static constexpr int kPollMs = 500;

signals:
    // What the LCD panel shows: one line (empty: nothing is on) and the whole text.
    void statusChanged(const QString& line, const QString& detail, bool trouble);

private:
    void startPublisher(const MqttPublishSettings& settings);
    void stopPublisher(double drainSeconds);
    std::optional<std::string> startServer(const ScpiForm& form);
    void stopServer();
    void savePublish(const PublishForm& form);
    void saveScpi(const ScpiForm& form);

    MeterSession& m_session;
    QString m_settingsPath;
    std::string m_version;

    PublishForm m_publish;
    std::string m_password;          // this session's, or the remembered one
    bool m_passwordMissing = false;  // kept for an earlier session only: publishing waits
    std::string m_restoreProblem;    // why the settings kept in the file cannot be used
    std::optional<MqttPublishSettings> m_active;
    std::string m_url;
    std::shared_ptr<PublisherRuns::Run> m_run;

    ScpiForm m_scpi;
    std::string m_scpiProblem;  // why the remembered server could not start
    std::unique_ptr<LastRowInstrument> m_instrument;
    std::unique_ptr<ScpiServer> m_server;

    QTimer* m_timer = nullptr;
    QString m_line;
    QString m_detail;
    bool m_trouble = false;
    // Declared last, so it goes first: it waits for the publisher that stopAll() handed over.
    PublisherRuns m_runs;
};
