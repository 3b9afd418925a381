#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "app/outputs/output_settings.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// "Record" > "Publish…": the broker's settings. The password field always starts empty; when a
// password is set it says so and an empty field keeps it. OK hands the form to apply(); a
// problem it returns is shown under the fields, with the focus on the field, and the dialog
// stays open.
class PublishDialog : public QDialog {
    Q_OBJECT
public:
    using Apply = std::function<std::optional<FormProblem>(const PublishForm&)>;

    // defaultId: the meter id an empty field stands for; settingsFile: where a remembered
    // password is written.
    PublishDialog(const PublishForm& form, const QString& defaultId, const QString& settingsFile,
                  Apply apply, QWidget* parent = nullptr);

    PublishForm form() const;

    QCheckBox* enabledBox() const { return m_enabled; }
    QLineEdit* urlEdit() const { return m_url; }
    QLineEdit* caFileEdit() const { return m_caFile; }
    QPushButton* caBrowseButton() const { return m_caBrowse; }
    QLineEdit* userEdit() const { return m_user; }
    QLineEdit* passwordEdit() const { return m_password; }
    QPushButton* forgetPasswordButton() const { return m_forget; }
    QCheckBox* rememberPasswordBox() const { return m_remember; }
    QComboBox* qosBox() const { return m_qos; }
    QLineEdit* meterIdEdit() const { return m_meterId; }
    QLabel* problemLabel() const { return m_problem; }
    QDialogButtonBox* buttons() const { return m_buttons; }

    void accept() override;

private:
    void updateEnabled();
    QWidget* fieldOf(FormProblem::Field field) const;

    Apply m_apply;
    QString m_defaultId;
    bool m_passwordSet = false;
    QCheckBox* m_enabled = nullptr;
    QLineEdit* m_url = nullptr;
    QLineEdit* m_caFile = nullptr;
    QPushButton* m_caBrowse = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_forget = nullptr;
    QCheckBox* m_remember = nullptr;
    QComboBox* m_qos = nullptr;
    QLineEdit* m_meterId = nullptr;
    QLabel* m_topic = nullptr;
    QLabel* m_problem = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

// "Record" > "SCPI server…": whether the window answers SCPI commands over TCP, on which address
// and port. An address other than loopback shows a warning that anyone on the network can read
// the meter. OK hands the form to apply(); a problem (a port in use) is shown and the dialog
// stays open.
class ScpiServerDialog : public QDialog {
    Q_OBJECT
public:
    using Apply = std::function<std::optional<FormProblem>(const ScpiForm&)>;

    ScpiServerDialog(const ScpiForm& form, Apply apply, QWidget* parent = nullptr);

    ScpiForm form() const;

    QCheckBox* enabledBox() const { return m_enabled; }
    QLineEdit* addressEdit() const { return m_address; }
    QSpinBox* portBox() const { return m_port; }
    QLabel* warningLabel() const { return m_warning; }
    QLabel* problemLabel() const { return m_problem; }
    QDialogButtonBox* buttons() const { return m_buttons; }

    void accept() override;

private:
    void updateEnabled();

    Apply m_apply;
    QCheckBox* m_enabled = nullptr;
    QLineEdit* m_address = nullptr;
    QSpinBox* m_port = nullptr;
    QLabel* m_warning = nullptr;
    QLabel* m_problem = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};
