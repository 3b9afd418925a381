#include "app/outputs/ui/output_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "net/mqtt_settings.h"

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

std::string ss(const QString& text) {
    return text.trimmed().toStdString();
}

QLabel* newProblemLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setObjectName(QStringLiteral("problem"));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #b01e1e;"));
    label->hide();
    return label;
}

void showProblem(QLabel* label, QWidget* field, const std::string& text) {
    label->setText(qs(text));
    label->show();
    if (field != nullptr) {
        field->setFocus();
        if (auto* edit = qobject_cast<QLineEdit*>(field)) {
            edit->selectAll();
        }
    }
}

}  // namespace

PublishDialog::PublishDialog(const PublishForm& form, const QString& defaultId,
                             const QString& settingsFile, Apply apply, QWidget* parent)
    : QDialog(parent),
      m_apply(std::move(apply)),
      m_defaultId(defaultId),
      m_passwordSet(form.passwordSet) {
    setObjectName(QStringLiteral("publishDialog"));
    setWindowTitle(tr("Publish"));

    m_enabled = new QCheckBox(tr("&Publish every recorded row to an MQTT broker"), this);
    m_enabled->setChecked(form.enabled);

    m_url = new QLineEdit(qs(form.url), this);
    m_url->setObjectName(QStringLiteral("url"));
    m_url->setPlaceholderText(QStringLiteral("mqtt://host:1883 or mqtts://host:8883"));

    m_caFile = new QLineEdit(qs(form.caFile), this);
    m_caFile->setObjectName(QStringLiteral("caFile"));
    m_caFile->setPlaceholderText(tr("the system's authorities"));
    m_caBrowse = new QPushButton(tr("&Browse\u2026"), this);
    connect(m_caBrowse, &QPushButton::clicked, this, [this] {
        const QString file = QFileDialog::getOpenFileName(
            this, tr("CA file"), m_caFile->text(), tr("Certificates (*.pem *.crt);;All files (*)"));
        if (!file.isEmpty()) {
            m_caFile->setText(file);
        }
    });
    auto* caRow = new QHBoxLayout;
    caRow->addWidget(m_caFile, 1);
    caRow->addWidget(m_caBrowse);

    m_user = new QLineEdit(qs(form.user), this);
    m_user->setObjectName(QStringLiteral("user"));
    m_user->setPlaceholderText(tr("anonymous"));

    // Never filled: a password once given is not shown again.
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_forget = new QPushButton(tr("&Forget"), this);
    m_forget->setToolTip(tr("Forget the password that is set"));
    connect(m_forget, &QPushButton::clicked, this, [this] {
        m_passwordSet = false;
        m_password->clear();
        updateEnabled();
    });
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(m_password, 1);
    passwordRow->addWidget(m_forget);
    m_remember = new QCheckBox(tr("&Remember the password in the settings file"), this);
    m_remember->setChecked(form.rememberPassword);
    m_remember->setToolTip(
        tr("Written as plain text to %1, readable by your user only. Otherwise the password is "
           "kept until the program ends.")
            .arg(settingsFile));

    m_qos = new QComboBox(this);
    m_qos->addItem(tr("0: at most once"), 0);
    m_qos->addItem(tr("1: at least once"), 1);
    m_qos->setCurrentIndex(form.qos == 1 ? 1 : 0);

    m_meterId = new QLineEdit(qs(form.meterId), this);
    m_meterId->setObjectName(QStringLiteral("meterId"));
    m_meterId->setPlaceholderText(defaultId);
    m_topic = new QLabel(this);
    m_topic->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const auto showTopic = [this] {
        const std::string typed = ss(m_meterId->text());
        m_topic->setText(
            tr("Readings go to %1").arg(qs(readingTopic(typed.empty() ? ss(m_defaultId) : typed))));
    };
    connect(m_meterId, &QLineEdit::textChanged, this, showTopic);
    showTopic();

    auto* fields = new QFormLayout;
    fields->addRow(tr("Broker &address:"), m_url);
    fields->addRow(tr("&CA file:"), caRow);
    fields->addRow(tr("&User:"), m_user);
    fields->addRow(tr("Pass&word:"), passwordRow);
    fields->addRow(QString(), m_remember);
    fields->addRow(tr("&QoS:"), m_qos);
    fields->addRow(tr("&Meter id:"), m_meterId);
    fields->addRow(QString(), m_topic);
    // The labels of rows that hold a layout lead to its first field.
    if (auto* label = qobject_cast<QLabel*>(fields->labelForField(caRow))) {
        label->setBuddy(m_caFile);
    }
    if (auto* label = qobject_cast<QLabel*>(fields->labelForField(passwordRow))) {
        label->setBuddy(m_password);
    }

    m_problem = newProblemLabel(this);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &PublishDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &PublishDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addLayout(fields);
    layout->addWidget(m_problem);
    layout->addWidget(m_buttons);

    connect(m_enabled, &QCheckBox::toggled, this, &PublishDialog::updateEnabled);
    connect(m_url, &QLineEdit::textChanged, this, &PublishDialog::updateEnabled);
    connect(m_user, &QLineEdit::textChanged, this, &PublishDialog::updateEnabled);
    connect(m_password, &QLineEdit::textChanged, this, &PublishDialog::updateEnabled);
    updateEnabled();
    resize(qMax(width(), 460), height());
}

void PublishDialog::updateEnabled() {
    const bool on = m_enabled->isChecked();
    const bool tls = m_url->text().trimmed().startsWith(QLatin1String("mqtts://"));
    const bool user = !m_user->text().trimmed().isEmpty();
    for (QWidget* w : {static_cast<QWidget*>(m_url), static_cast<QWidget*>(m_user),
                       static_cast<QWidget*>(m_qos), static_cast<QWidget*>(m_meterId)}) {
        w->setEnabled(on);
    }
    // A CA file is for mqtts only; a password needs a user.
    m_caFile->setEnabled(on && tls);
    m_caBrowse->setEnabled(on && tls);
    m_password->setEnabled(on && user);
    m_forget->setEnabled(on && m_passwordSet);
    m_remember->setEnabled(on && user && (m_passwordSet || !m_password->text().isEmpty()));
    m_password->setPlaceholderText(m_passwordSet ? tr("set (type to replace it)") : tr("not set"));
}

PublishForm PublishDialog::form() const {
    PublishForm f;
    f.enabled = m_enabled->isChecked();
    f.url = ss(m_url->text());
    f.caFile = ss(m_caFile->text());
    f.user = ss(m_user->text());
    f.password = m_password->text().toStdString();  // spaces may belong to it
    f.passwordSet = m_passwordSet;
    f.rememberPassword = m_remember->isChecked();
    f.qos = m_qos->currentData().toInt();
    f.meterId = ss(m_meterId->text());
    return f;
}

QWidget* PublishDialog::fieldOf(FormProblem::Field field) const {
    switch (field) {
        case FormProblem::Field::Url:
            return m_url;
        case FormProblem::Field::CaFile:
            return m_caFile;
        case FormProblem::Field::User:
            return m_user;
        case FormProblem::Field::Password:
            return m_password->isEnabled() ? static_cast<QWidget*>(m_password) : m_user;
        case FormProblem::Field::Qos:
            return m_qos;
        case FormProblem::Field::MeterId:
            return m_meterId;
        default:
            return nullptr;
    }
}

void PublishDialog::accept() {
    if (m_apply) {
        if (const std::optional<FormProblem> problem = m_apply(form())) {
            showProblem(m_problem, fieldOf(problem->field), problem->text);
            return;
        }
    }
    m_password->clear();
    QDialog::accept();
}

ScpiServerDialog::ScpiServerDialog(const ScpiForm& form, Apply apply, QWidget* parent)
    : QDialog(parent), m_apply(std::move(apply)) {
    setObjectName(QStringLiteral("scpiServerDialog"));
    setWindowTitle(tr("SCPI server"));

    m_enabled = new QCheckBox(tr("&Answer SCPI commands over TCP"), this);
    m_enabled->setChecked(form.enabled);
    m_address = new QLineEdit(qs(form.address), this);
    m_address->setObjectName(QStringLiteral("address"));
    m_address->setPlaceholderText(QStringLiteral("127.0.0.1"));
    m_address->setToolTip(
        tr("127.0.0.1 or ::1: this computer only; 0.0.0.0 or ::: every "
           "network the computer is on"));
    m_port = new QSpinBox(this);
    m_port->setObjectName(QStringLiteral("port"));
    m_port->setRange(1, 65535);
    m_port->setValue(form.port >= 1 && form.port <= 65535 ? form.port : 5025);
    m_port->setToolTip(tr("5025 is the usual port of SCPI over TCP"));

    auto* fields = new QFormLayout;
    fields->addRow(tr("A&ddress:"), m_address);
    fields->addRow(tr("&Port:"), m_port);

    auto* about = new QLabel(tr("Answers *IDN?, READ?, MEAS?, FETC?, CONF? and SYST:ERR? with "
                                "the last recorded reading; at most 8 clients."),
                             this);
    about->setWordWrap(true);
    m_warning = new QLabel(tr("Anyone on the network can read the meter."), this);
    m_warning->setObjectName(QStringLiteral("warning"));
    m_warning->setStyleSheet(QStringLiteral("color: #9a5b00; font-weight: bold;"));
    m_problem = newProblemLabel(this);
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &ScpiServerDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &ScpiServerDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addLayout(fields);
    layout->addWidget(about);
    layout->addWidget(m_warning);
    layout->addWidget(m_problem);
    layout->addWidget(m_buttons);

    connect(m_enabled, &QCheckBox::toggled, this, &ScpiServerDialog::updateEnabled);
    connect(m_address, &QLineEdit::textChanged, this, &ScpiServerDialog::updateEnabled);
    updateEnabled();
    resize(qMax(width(), 400), height());
}

void ScpiServerDialog::updateEnabled() {
    const bool on = m_enabled->isChecked();
    m_address->setEnabled(on);
    m_port->setEnabled(on);
    const std::string address = ss(m_address->text());
    // Shown for anything that is not surely loopback, a half-typed address included.
    m_warning->setVisible(on && !address.empty() && !isLoopbackAddress(address));
}

ScpiForm ScpiServerDialog::form() const {
    ScpiForm f;
    f.enabled = m_enabled->isChecked();
    f.address = ss(m_address->text());
    f.port = m_port->value();
    return f;
}

void ScpiServerDialog::accept() {
    if (m_apply) {
        if (const std::optional<FormProblem> problem = m_apply(form())) {
            showProblem(m_problem,
                        problem->field == FormProblem::Field::Address
                            ? static_cast<QWidget*>(m_address)
                            : m_port,
                        problem->text);
            return;
        }
    }
    QDialog::accept();
}
