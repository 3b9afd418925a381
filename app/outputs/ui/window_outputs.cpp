#include "app/outputs/ui/window_outputs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <csignal>

#include "net/meter_outputs.h"
#include "net/mqtt_settings.h"
#include "net/scpi_server.h"
#include "net/tcp_socket.h"
#include "session/meter_session.h"

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string ss(const QString& text) {
    return text.toStdString();
}

bool sameSettings(const MqttPublishSettings& a, const MqttPublishSettings& b) {
    return a.url.tls == b.url.tls && a.url.host == b.url.host && a.url.port == b.url.port &&
           a.caFile == b.caFile && a.user == b.user && a.password == b.password && a.qos == b.qos &&
           a.meterId == b.meterId;
}

// A broker or a client that goes away must not end the program through SIGPIPE on a write.
void ignoreBrokenPipes() {
    std::signal(SIGPIPE, SIG_IGN);
}

// How long the publisher may go on sending what it holds once it is turned off, and at the end.
constexpr double kDrainSeconds = 2;

}  // namespace

WindowOutputs::WindowOutputs(MeterSession& session, QString settingsPath, std::string version,
                             QObject* parent)
    : QObject(parent),
      m_session(session),
      m_settingsPath(std::move(settingsPath)),
      m_version(std::move(version)) {
    m_timer = new QTimer(this);
    m_timer->setInterval(kPollMs);
    connect(m_timer, &QTimer::timeout, this, &WindowOutputs::refreshStatus);
}

WindowOutputs::~WindowOutputs() {
    stopAll();
}

QString WindowOutputs::defaultSettingsPath() {
    // QStandardPaths follows XDG_CONFIG_HOME, which is how tests keep to their own folder.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/halvern/halvern.conf");
}

std::string WindowOutputs::currentDefaultMeterId() const {
    return topicSafeId(defaultMeterId ? defaultMeterId() : std::string());
}

void WindowOutputs::restore() {
    const QSettings s(m_settingsPath, QSettings::IniFormat);
    PublishForm p;
    p.enabled = s.value(QStringLiteral("publish/enabled"), false).toBool();
    p.url = ss(s.value(QStringLiteral("publish/url")).toString());
    p.caFile = ss(s.value(QStringLiteral("publish/caFile")).toString());
    p.user = ss(s.value(QStringLiteral("publish/user")).toString());
    p.rememberPassword = s.value(QStringLiteral("publish/rememberPassword"), false).toBool();
    p.qos = s.value(QStringLiteral("publish/qos"), 0).toInt();
    p.meterId = ss(s.value(QStringLiteral("publish/meterId")).toString());
    m_password = p.rememberPassword ? ss(s.value(QStringLiteral("publish/password")).toString())
                                    : std::string();
    p.passwordSet = !m_password.empty();
    m_passwordMissing =
        !p.passwordSet && s.value(QStringLiteral("publish/passwordForSessionOnly"), false).toBool();
    m_publish = p;
    m_restoreProblem.clear();
    if (p.enabled && !m_passwordMissing) {
        MqttPublishSettings settings;
        if (const std::optional<FormProblem> problem =
                checkPublishForm(p, m_password, currentDefaultMeterId(), settings)) {
            m_restoreProblem = problem->text;  // a CA file gone since, a hand-edited file
        } else {
            startPublisher(settings);
        }
    }

    ScpiForm c;
    c.enabled = s.value(QStringLiteral("scpi/enabled"), false).toBool();
    c.address = ss(s.value(QStringLiteral("scpi/address"), QStringLiteral("127.0.0.1")).toString());
    c.port = s.value(QStringLiteral("scpi/port"), 5025).toInt();
    m_scpi = c;
    if (c.enabled && !checkScpiForm(c)) {
        if (std::optional<std::string> problem = startServer(c)) {
            m_scpiProblem = *problem;
        }
    }
    refreshStatus();
}

PublishForm WindowOutputs::publishForm() const {
    PublishForm f = m_publish;
    f.password.clear();
    f.passwordSet = !m_password.empty();
    return f;
}

std::optional<FormProblem> WindowOutputs::applyPublish(const PublishForm& form) {
    // An empty field keeps the password already set; clearing passwordSet forgets it.
    const std::string password =
        !form.password.empty() ? form.password : (form.passwordSet ? m_password : std::string());
    MqttPublishSettings settings;
    if (form.enabled) {
        if (std::optional<FormProblem> problem =
                checkPublishForm(form, password, currentDefaultMeterId(), settings)) {
            return problem;
        }
    }
    m_password = password;
    m_passwordMissing = false;
    m_restoreProblem.clear();
    m_publish = form;
    m_publish.password.clear();
    m_publish.passwordSet = !m_password.empty();
    if (form.enabled) {
        // The default id is kept as it was chosen: the topics stay the same in the next
        // session, whatever link is in use when it starts.
        m_publish.meterId = settings.meterId;
    }
    savePublish(m_publish);
    if (!form.enabled) {
        stopPublisher(kDrainSeconds);
    } else if (!m_active || !sameSettings(*m_active, settings) || !m_run ||
               !m_run->startFailure().empty()) {
        stopPublisher(kDrainSeconds);
        startPublisher(settings);
    }
    refreshStatus();
    return std::nullopt;
}

ScpiForm WindowOutputs::scpiForm() const {
    return m_scpi;
}

std::optional<FormProblem> WindowOutputs::applyScpi(const ScpiForm& form) {
    if (form.enabled) {
        if (std::optional<FormProblem> problem = checkScpiForm(form)) {
            return problem;
        }
        const bool same = m_server && form.address == m_scpi.address && form.port == m_scpi.port;
        if (!same) {
            // The old server lets its port go first: the same port on another address, or the
            // same address again, must not find it taken by ourselves.
            std::unique_ptr<ScpiServer> old = std::move(m_server);
            old.reset();
            if (std::optional<std::string> problem = startServer(form)) {
                // Back to what served before, if anything did.
                if (m_scpi.enabled && !startServer(m_scpi)) {
                    m_scpiProblem.clear();
                } else {
                    stopServer();
                }
                refreshStatus();
                const bool portTaken = problem->find("in use") != std::string::npos;
                return FormProblem{
                    portTaken ? FormProblem::Field::Port : FormProblem::Field::Address, *problem};
            }
        }
    } else {
        stopServer();
    }
    m_scpi = form;
    m_scpiProblem.clear();
    saveScpi(m_scpi);
    refreshStatus();
    return std::nullopt;
}

void WindowOutputs::stopAll() {
    stopPublisher(kDrainSeconds);
    stopServer();
    m_timer->stop();
}

void WindowOutputs::startPublisher(const MqttPublishSettings& settings) {
    ignoreBrokenPipes();
    m_run = m_runs.start(createMeterPublisher(settings));
    m_active = settings;
    m_url = (settings.url.tls ? "mqtts://" : "mqtt://") +
            (settings.url.host.find(':') != std::string::npos ? "[" + settings.url.host + "]"
                                                              : settings.url.host) +
            ":" + std::to_string(settings.url.port);
    m_session.sinks().add(m_run->sink());
    // The LCD's state goes out retained on halvern/<id>/state, as halvern log's does.
    m_session.consumers().add(m_run->publisher().lcdState());
    m_timer->start();
}

void WindowOutputs::stopPublisher(double drainSeconds) {
    if (!m_run) {
        return;
    }
    // No row reaches it from now on; what it holds goes out off the window's thread.
    m_session.consumers().remove(m_run->publisher().lcdState());
    m_session.sinks().remove(m_run->sink());
    m_runs.finish(m_run, drainSeconds);
    m_run.reset();
    m_active.reset();
}

std::optional<std::string> WindowOutputs::startServer(const ScpiForm& form) {
    // A numeric address only (checked): listening never waits on a name lookup.
    std::string reason;
    std::unique_ptr<TcpListener> listener = listenTcp(form.address, form.port, reason);
    if (!listener) {
        return reason;
    }
    ignoreBrokenPipes();
    if (!m_instrument) {
        m_instrument = std::make_unique<LastRowInstrument>("0", m_version);
        m_instrument->setSerialSource([this] { return deviceSerial ? deviceSerial() : ""; });
        m_session.sinks().add(*m_instrument);
    }
    m_server = std::make_unique<ScpiServer>(m_session.loop(), std::move(listener), *m_instrument);
    return std::nullopt;
}

void WindowOutputs::stopServer() {
    m_server.reset();
    if (m_instrument) {
        m_session.sinks().remove(*m_instrument);
        m_instrument.reset();
    }
}

void WindowOutputs::savePublish(const PublishForm& form) {
    QSettings s(m_settingsPath, QSettings::IniFormat);
    s.setValue(QStringLiteral("publish/enabled"), form.enabled);
    s.setValue(QStringLiteral("publish/url"), qs(form.url));
    s.setValue(QStringLiteral("publish/caFile"), qs(form.caFile));
    s.setValue(QStringLiteral("publish/user"), qs(form.user));
    s.setValue(QStringLiteral("publish/qos"), form.qos);
    s.setValue(QStringLiteral("publish/meterId"), qs(form.meterId));
    s.setValue(QStringLiteral("publish/rememberPassword"), form.rememberPassword);
    const bool keep = form.rememberPassword && !m_password.empty();
    if (keep) {
        // Readable by the user only; it is written as plain text.
        const QFileInfo info(m_settingsPath);
        QDir().mkpath(info.absolutePath());
        if (!info.exists()) {
            QFile file(m_settingsPath);
            if (file.open(QIODevice::WriteOnly)) {
                file.close();
            }
        }
        QFile::setPermissions(m_settingsPath, QFile::ReadOwner | QFile::WriteOwner);
        s.setValue(QStringLiteral("publish/password"), qs(m_password));
    } else {
        s.remove(QStringLiteral("publish/password"));
    }
    s.setValue(QStringLiteral("publish/passwordForSessionOnly"), !keep && !m_password.empty());
    s.sync();
    if (keep) {
        QFile::setPermissions(m_settingsPath, QFile::ReadOwner | QFile::WriteOwner);
    }
}

void WindowOutputs::saveScpi(const ScpiForm& form) {
    QSettings s(m_settingsPath, QSettings::IniFormat);
    s.setValue(QStringLiteral("scpi/enabled"), form.enabled);
    s.setValue(QStringLiteral("scpi/address"), qs(form.address));
    s.setValue(QStringLiteral("scpi/port"), form.port);
    s.sync();
}

void WindowOutputs::refreshStatus() {
    // One short line for a corner of the LCD panel: the broker's state while publishing is on,
    // the server's otherwise or when it failed; the tool tip holds both in full.
    QString line;
    QString detail;
    bool trouble = false;
    if (m_run) {
        const PublishStatusText t =
            publishStatusText(m_url, m_run->status(), m_run->started(), m_run->startFailure());
        line = qs(t.line);
        detail = qs(t.detail);
        trouble = t.trouble;
    } else if (m_publish.enabled && m_passwordMissing) {
        line = tr("MQTT: needs the password");
        detail =
            tr("The broker's password was kept for the last session only; give it again in "
               "Record > Publish\u2026 to publish.");
        trouble = true;
    } else if (m_publish.enabled) {
        line = tr("MQTT: off (settings)");
        detail = tr("The broker's settings kept in %1 cannot be used (%2); see Record > "
                    "Publish\u2026")
                     .arg(m_settingsPath, qs(m_restoreProblem));
        trouble = true;
    }
    QString scpiLine;
    QString scpiDetail;
    bool scpiTrouble = false;
    bool scpiNotable = false;  // shown beside the broker's state too
    if (m_server) {
        const bool v6 = m_scpi.address.find(':') != std::string::npos;
        scpiLine = tr("SCPI :%1").arg(m_server->port());
        scpiDetail =
            tr("SCPI: answering on %1:%2")
                .arg(v6 ? QStringLiteral("[%1]").arg(qs(m_scpi.address)) : qs(m_scpi.address))
                .arg(m_server->port());
        if (!isLoopbackAddress(m_scpi.address)) {
            scpiLine = tr("SCPI :%1 on the network").arg(m_server->port());
            scpiDetail += tr("; anyone on the network can read the meter");
            scpiNotable = true;
        }
    } else if (m_scpi.enabled && !m_scpiProblem.empty()) {
        scpiLine = m_scpiProblem.find("in use") != std::string::npos ? tr("SCPI: port in use")
                                                                     : tr("SCPI: off");
        scpiDetail = tr("SCPI: %1").arg(qs(m_scpiProblem));
        scpiTrouble = true;
    }
    if (!scpiLine.isEmpty()) {
        if (line.isEmpty()) {
            line = scpiLine;
        } else if (scpiTrouble || scpiNotable) {
            line += QStringLiteral(" \u00B7 ") + scpiLine;
        }
        detail = detail.isEmpty() ? scpiDetail : detail + QLatin1Char('\n') + scpiDetail;
        trouble = trouble || scpiTrouble;
    }
    if (!m_run) {
        m_timer->stop();
    }
    if (line != m_line || detail != m_detail || trouble != m_trouble) {
        m_line = line;
        m_detail = detail;
        m_trouble = trouble;
        emit statusChanged(m_line, m_detail, m_trouble);
    }
}
