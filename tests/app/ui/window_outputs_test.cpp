// The window's "Record" > "Publish…" and "Record" > "SCPI server…" on a real mosquitto broker and
// real TCP clients on loopback: rows recorded from the demo meter reach a subscriber and stop when
// publishing is turned off, the settings come back in a new window without the password, the LCD
// panel shows a broker that cannot be reached, and the SCPI server answers and refuses a port in
// use with the reason.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <cstdlib>
#include <future>
#include <memory>
#include <string>

#include "app/outputs/ui/output_dialogs.h"
#include "app/outputs/ui/window_outputs.h"
#include "app/ui/main_window.h"
#include "lcd/ui/virtual_lcd.h"
#include "net/mqtt_settings.h"
#include "net/scpi_server.h"
#include "recording/ui/recording_room.h"
#include "sim/ui/demo_meter.h"
#include "tests/support/fakes/fake_usb_tree.h"
#include "tests/support/frames.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/ui/modal_driver.h"
#include "transport/serial/port_map.h"

namespace {

// The settings file and the journal of the windows a test makes: in folders of its own.
struct OutputsHome : ::testing::Test {
    QTemporaryDir config;
    QTemporaryDir state;
    std::string previousConfig;
    std::string previousState;
    void SetUp() override {
        if (const char* p = std::getenv("XDG_CONFIG_HOME")) {
            previousConfig = p;
        }
        if (const char* p = std::getenv("XDG_STATE_HOME")) {
            previousState = p;
        }
        ::setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
        ::setenv("XDG_STATE_HOME", state.path().toLocal8Bit().constData(), 1);
    }
    void TearDown() override {
        ::setenv("XDG_CONFIG_HOME", previousConfig.c_str(), 1);
        ::setenv("XDG_STATE_HOME", previousState.c_str(), 1);
    }
    QString settingsFile() const { return config.path() + QStringLiteral("/halvern/halvern.conf"); }
    QByteArray settingsText() const {
        QFile f(settingsFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // A window with nothing left to ask at the end.
    static std::unique_ptr<TFCOMM> window() {
        auto w = std::make_unique<TFCOMM>();
        w->setUnsavedQuestion([](int) { return static_cast<int>(QMessageBox::Discard); });
        return w;
    }
    static void record(TFCOMM& w, int rows) {
        for (int i = 0; i < rows; ++i) {
            w.pipeline().receive(meterFrameBytes(i % 2 ? "00012350010" : "00012340010"));
        }
    }
    static QAction* action(TFCOMM& w, const char* name) {
        return w.recordMenu()->findChild<QAction*>(QString::fromLatin1(name));
    }
    static QPushButton* ok(QDialogButtonBox* buttons) {
        return buttons->button(QDialogButtonBox::Ok);
    }
    static QLabel* notice(TFCOMM& w) { return w.lcd()->outputsNotice(); }

    // "Record" > "Publish…" with the fields set by fill, then OK; the dialog must close.
    template <class Fill>
    static void publish(TFCOMM& w, Fill fill) {
        ModalDriver driver;
        driver.then([fill](QWidget* modal) {
            auto* d = qobject_cast<PublishDialog*>(modal);
            ASSERT_NE(d, nullptr);
            fill(*d);
            ok(d->buttons())->click();
        });
        action(w, "Publish")->trigger();
        EXPECT_EQ(driver.pending(), 0);
        EXPECT_TRUE(driver.unexpected().isEmpty()) << driver.unexpected().join(',').toStdString();
    }
    template <class Fill>
    static void serve(TFCOMM& w, Fill fill) {
        ModalDriver driver;
        driver.then([fill](QWidget* modal) {
            auto* d = qobject_cast<ScpiServerDialog*>(modal);
            ASSERT_NE(d, nullptr);
            fill(*d);
            if (d->isVisible()) {
                ok(d->buttons())->click();
            }
        });
        action(w, "ScpiServer")->trigger();
        EXPECT_EQ(driver.pending(), 0);
        EXPECT_TRUE(driver.unexpected().isEmpty()) << driver.unexpected().join(',').toStdString();
    }
};

// A blocking client on loopback whose reads give up after two seconds; run beside the window's
// event loop, which serves it.
std::string scpiExchange(int port, const std::string& commands, int lines) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    timeval t{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return "<refused>";
    }
    ::send(fd, commands.data(), commands.size(), MSG_NOSIGNAL);
    std::string out;
    char c;
    while (lines > 0 && recv(fd, &c, 1, 0) == 1) {
        out += c;
        lines -= c == '\n' ? 1 : 0;
    }
    close(fd);
    return out;
}

// Runs job on a thread of its own while the window's event loop goes on; its result.
template <class Job>
auto besideTheWindow(Job job) {
    auto result = std::async(std::launch::async, std::move(job));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        20000));
    return result.get();
}

TEST_F(OutputsHome, RowsOfTheDemoMeterReachASubscriberUntilPublishingIsTurnedOff) {
    MqttBroker broker;
    if (!broker.start()) {
        GTEST_SKIP() << "mosquitto is not installed";
    }
    DemoMeter meter(20.0);
    ASSERT_TRUE(meter.isOpen());
    auto w = window();
    PortMap ports;
    ports.setPath(0, meter.devicePath());
    w->setPortMap(ports);
    w->show();
    w->comConnectButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->recording().table().rowCount() > 2; }, 5000));
    EXPECT_FALSE(notice(*w)->isVisible());  // off by default

    // The meter id by default: the device of the link in use.
    const std::string id = topicSafeId(meter.devicePath());
    // The subscriber is up before publishing starts; five rows, as they come.
    auto rows = std::async(std::launch::async, [&] {
        return broker.subscribe({"-t", readingTopic(id), "-C", "5", "-W", "10"});
    });
    QTest::qWait(300);
    publish(*w, [&](PublishDialog& d) {
        EXPECT_FALSE(d.enabledBox()->isChecked());
        EXPECT_FALSE(d.urlEdit()->isEnabled());  // nothing applies while it is off
        d.enabledBox()->setChecked(true);
        d.urlEdit()->setText(QString::fromStdString(broker.url()));
        EXPECT_EQ(d.meterIdEdit()->placeholderText().toStdString(), id);
    });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return rows.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        15000));
    const std::string received = rows.get();
    EXPECT_EQ(std::count(received.begin(), received.end(), '\n'), 5) << received;
    EXPECT_EQ(received.front(), '{') << received;
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return notice(*w)->text().startsWith("MQTT: connected"); }, 5000))
        << notice(*w)->text().toStdString();
    EXPECT_EQ(broker.retained(availabilityTopic(id)), "online");
    // The LCD's state too, retained, as halvern log publishes it.
    EXPECT_NE(broker.retained(stateTopic(id)).find("\"display\""), std::string::npos);

    // Off: the meter says goodbye and no row follows, though the meter goes on.
    publish(*w, [](PublishDialog& d) { d.enabledBox()->setChecked(false); });
    EXPECT_FALSE(w->outputs().publishing());
    EXPECT_TRUE(notice(*w)->isHidden());
    EXPECT_TRUE(QTest::qWaitFor([&] { return broker.retained(availabilityTopic(id)) == "offline"; },
                                10000));
    const std::size_t before = w->recording().table().rowCount();
    const std::string after = besideTheWindow([&] {
        return broker.subscribe({"-t", readingTopic(id), "-C", "1", "-W", "2"});
    });
    EXPECT_GT(w->recording().table().rowCount(), before);
    EXPECT_EQ(after, "");
}

TEST_F(OutputsHome, SettingsComeBackWithoutThePasswordAndAnUnreachableBrokerIsShown) {
    const int nobody = freeLoopbackPort();
    const QString url = QStringLiteral("mqtt://127.0.0.1:%1").arg(nobody);
    {
        auto w = window();
        w->show();
        publish(*w, [&](PublishDialog& d) {
            d.enabledBox()->setChecked(true);
            d.urlEdit()->setText(url);
            d.userEdit()->setText(QStringLiteral("alice"));
            d.passwordEdit()->setText(QStringLiteral("s3cret-1"));
            d.qosBox()->setCurrentIndex(1);
            d.meterIdEdit()->setText(QStringLiteral("m2"));
        });
        // Nothing is lost meanwhile: the rows wait, and the panel says why.
        record(*w, 3);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return notice(*w)->text() == "MQTT: unreachable, 3 waiting"; }, 5000))
            << notice(*w)->text().toStdString();
        EXPECT_TRUE(notice(*w)->isVisible());
        EXPECT_TRUE(notice(*w)->toolTip().contains("broker unreachable ("))
            << notice(*w)->toolTip().toStdString();
        EXPECT_TRUE(notice(*w)->toolTip().contains(url));
        EXPECT_TRUE(notice(*w)->styleSheet().contains("#b01e1e"));
        // The window never waited for the broker.
        EXPECT_EQ(w->recording().table().rowCount(), 3u);
    }
    EXPECT_TRUE(settingsText().contains(url.toUtf8()));
    EXPECT_FALSE(settingsText().contains("s3cret-1"));

    {
        // The password was for that session only: publishing waits for it.
        auto w = window();
        EXPECT_FALSE(w->outputs().publishing());
        EXPECT_EQ(notice(*w)->text(), "MQTT: needs the password");
        publish(*w, [&](PublishDialog& d) {
            EXPECT_TRUE(d.enabledBox()->isChecked());
            EXPECT_EQ(d.urlEdit()->text(), url);
            EXPECT_EQ(d.userEdit()->text(), "alice");
            EXPECT_EQ(d.qosBox()->currentIndex(), 1);
            EXPECT_EQ(d.meterIdEdit()->text(), "m2");
            EXPECT_TRUE(d.passwordEdit()->text().isEmpty());
            EXPECT_FALSE(d.forgetPasswordButton()->isEnabled());
            // Given again, and remembered this time.
            d.passwordEdit()->setText(QStringLiteral("s3cret-2"));
            d.rememberPasswordBox()->setChecked(true);
        });
        EXPECT_TRUE(w->outputs().publishing());
    }
    EXPECT_TRUE(settingsText().contains("s3cret-2"));
    struct stat st {};
    ASSERT_EQ(::stat(settingsFile().toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);  // written as plain text: the user's own

    auto w = window();
    EXPECT_TRUE(w->outputs().publishing());  // on again at start
    publish(*w, [&](PublishDialog& d) {
        // Set, but never shown again.
        EXPECT_TRUE(d.passwordEdit()->text().isEmpty());
        EXPECT_TRUE(d.forgetPasswordButton()->isEnabled());
        EXPECT_TRUE(d.rememberPasswordBox()->isChecked());
        d.enabledBox()->setChecked(false);
    });
    EXPECT_FALSE(w->outputs().publishing());
}

TEST_F(OutputsHome, BadSettingsKeepTheDialogOpenWithTheReason) {
    QTemporaryDir dir;
    struct Case {
        const char* what;
        QString url;
        QString caFile;
        const char* reason;
        const char* field;
    };
    const Case cases[] = {
        {"a wrong broker address", QStringLiteral("tcp://broker.lan"), QString(), "mqtt://", "url"},
        {"a missing CA file", QStringLiteral("mqtts://broker.lan"), dir.filePath("ca.pem"),
         "cannot read the CA file", "caFile"},
    };
    auto w = window();
    w->show();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModalDriver driver;
        driver.then([&](QWidget* modal) {
            auto* d = qobject_cast<PublishDialog*>(modal);
            ASSERT_NE(d, nullptr);
            d->enabledBox()->setChecked(true);
            d->urlEdit()->setText(c.url);
            // A CA file is for mqtts:// only.
            EXPECT_EQ(d->caFileEdit()->isEnabled(), c.url.startsWith("mqtts://"));
            d->caFileEdit()->setText(c.caFile);
            ok(d->buttons())->click();
            EXPECT_TRUE(d->isVisible());
            EXPECT_TRUE(d->problemLabel()->isVisible());
            EXPECT_TRUE(d->problemLabel()->text().contains(c.reason))
                << d->problemLabel()->text().toStdString();
            EXPECT_EQ(QApplication::focusWidget()->objectName(), c.field);
            d->buttons()->button(QDialogButtonBox::Cancel)->click();
        });
        action(*w, "Publish")->trigger();
        EXPECT_EQ(driver.pending(), 0);
        EXPECT_FALSE(w->outputs().publishing());
    }
    EXPECT_FALSE(QFile::exists(settingsFile()));  // nothing was kept
    w.reset();

    // Settings kept from an earlier session that no longer work: the panel says so and why.
    QDir().mkpath(config.path() + QStringLiteral("/halvern"));
    QFile file(settingsFile());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[publish]\nenabled=true\nurl=mqtts://broker.lan\ncaFile=" +
               dir.filePath("gone.pem").toUtf8() + "\n");
    file.close();
    w = window();
    EXPECT_FALSE(w->outputs().publishing());
    EXPECT_EQ(notice(*w)->text(), "MQTT: off (settings)");
    EXPECT_TRUE(notice(*w)->toolTip().contains("cannot read the CA file"))
        << notice(*w)->toolTip().toStdString();
}

TEST_F(OutputsHome, TheScpiServerAnswersRefusesAPortInUseAndComesBack) {
    // A port that something else holds.
    const int taken = freeLoopbackPort();
    const int holder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(taken));
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(listen(holder, 1), 0);
    const int port = freeLoopbackPort();
    {
        auto w = window();
        w->show();
        serve(*w, [&](ScpiServerDialog& d) {
            EXPECT_EQ(d.addressEdit()->text(), "127.0.0.1");
            EXPECT_EQ(d.portBox()->value(), 5025);
            d.enabledBox()->setChecked(true);
            // Anything but loopback is open to the network, and says so.
            d.addressEdit()->setText(QStringLiteral("0.0.0.0"));
            EXPECT_TRUE(d.warningLabel()->isVisible());
            d.addressEdit()->setText(QStringLiteral("127.0.0.1"));
            EXPECT_FALSE(d.warningLabel()->isVisible());
            d.portBox()->setValue(taken);
            ok(d.buttons())->click();
            EXPECT_TRUE(d.isVisible());
            EXPECT_TRUE(d.problemLabel()->text().contains(
                            QStringLiteral("port %1 on 127.0.0.1 is in use").arg(taken)) ||
                        d.problemLabel()->text().contains(QStringLiteral("the port is in use")))
                << d.problemLabel()->text().toStdString();
            d.portBox()->setValue(port);
        });
        ASSERT_NE(w->outputs().scpiServer(), nullptr);
        EXPECT_EQ(w->outputs().scpiServer()->port(), port);
        record(*w, 2);
        const std::string answer =
            besideTheWindow([port] { return scpiExchange(port, "*IDN?\nREAD?\n", 2); });
        EXPECT_EQ(answer.substr(0, answer.find('\n')), "Halvern,Interface Program,0,2.0.0");
        EXPECT_NE(answer.find("E+00\n"), std::string::npos) << answer;  // 1.235 V
        EXPECT_EQ(notice(*w)->text(), QStringLiteral("SCPI :%1").arg(port));
    }
    {
        // On again in a new window.
        auto w = window();
        ASSERT_NE(w->outputs().scpiServer(), nullptr);
        const std::string answer =
            besideTheWindow([port] { return scpiExchange(port, "*IDN?\n", 1); });
        EXPECT_EQ(answer, "Halvern,Interface Program,0,2.0.0\n");
        serve(*w, [](ScpiServerDialog& d) {
            EXPECT_TRUE(d.enabledBox()->isChecked());
            d.enabledBox()->setChecked(false);
            EXPECT_FALSE(d.portBox()->isEnabled());
        });
        EXPECT_EQ(w->outputs().scpiServer(), nullptr);
        EXPECT_EQ(besideTheWindow([port] { return scpiExchange(port, "*IDN?\n", 1); }),
                  "<refused>");
        EXPECT_TRUE(notice(*w)->isHidden());
    }
    close(holder);
}

// A meter on a USB serial adapter with a serial number: the number names it, as halvern log does,
// in the default meter id and in the SCPI server's *IDN?.
TEST_F(OutputsHome, TheAdaptersUsbSerialNumberNamesTheMeter) {
    DemoMeter meter(20.0);
    ASSERT_TRUE(meter.isOpen());
    FakeUsbTree tree;
    tree.addUsbTty(0, 2, "10c4", "ea60", meter.devicePath(), "CP2102", "A1B2C3");
    auto w = window();
    w->setDeviceRoots(tree.roots());
    PortMap ports;
    ports.setPath(0, tree.dev() + "/ttyUSB0");
    w->setPortMap(ports);
    w->show();
    w->comConnectButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->recording().table().rowCount() > 0; }, 5000));
    EXPECT_EQ(w->outputs().currentDefaultMeterId(), "A1B2C3");

    const int port = freeLoopbackPort();
    serve(*w, [&](ScpiServerDialog& d) {
        d.enabledBox()->setChecked(true);
        d.portBox()->setValue(port);
    });
    ASSERT_NE(w->outputs().scpiServer(), nullptr);
    const std::string answer = besideTheWindow([port] { return scpiExchange(port, "*IDN?\n", 1); });
    EXPECT_EQ(answer, "Halvern,Interface Program,A1B2C3,2.0.0\n");
    serve(*w, [](ScpiServerDialog& d) { d.enabledBox()->setChecked(false); });
}

}  // namespace
