#include "display/ui/scale_limits_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <string>

#include "display/scale_limits.h"
#include "display/ui/analog_scale.h"

namespace {

QString fromStd(const std::string& text) {
    return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

}  // namespace

QString unitForDisplay(std::string_view unitText) {
    QString shown;
    for (char c : unitText) {
        switch (c) {
            case '*':
                shown += QChar(0x03A9);
                break;
            case '#':
                shown += QStringLiteral("\u00B0C");
                break;
            case '?':
                shown += QStringLiteral("\u00B0F");
                break;
            case '<':
                shown += QChar(0x00B0);
                break;
            case ')':
                shown += QChar(0x2192);
                break;
            default:
                shown += QChar::fromLatin1(c);
                break;
        }
    }
    return shown;
}

ScaleLimitsWindow::ScaleLimitsWindow(AnalogScale& scale, QWidget* parent)
    : QDialog(parent), m_scale(scale) {
    setObjectName(QStringLiteral("Panel3"));
    setWindowTitle(tr("Scale limits"));
    const ScaleLimits& limits = m_scale.limits();

    m_setMaxB = new QCheckBox(QStringLiteral("SetMax:"), this);
    m_setMaxB->setObjectName(QStringLiteral("SetMaxB"));
    m_setMaxB->setChecked(limits.maxEnabled());
    m_setMinB = new QCheckBox(QStringLiteral("SetMin: "), this);
    m_setMinB->setObjectName(QStringLiteral("SetMinB"));
    m_setMinB->setChecked(limits.minEnabled());
    m_setmax = new QLineEdit(fromStd(limits.setmaxText()), this);
    m_setmax->setObjectName(QStringLiteral("Setmax"));
    m_setMin = new QLineEdit(fromStd(limits.setMinText()), this);
    m_setMin->setObjectName(QStringLiteral("SetMin"));
    for (QLineEdit* edit : {m_setmax, m_setMin}) {
        edit->installEventFilter(this);
        edit->setMaxLength(11);
    }

    m_maxText = new QLabel(this);
    m_maxText->setObjectName(QStringLiteral("MaxText"));
    m_maxTextU = new QLabel(this);
    m_maxTextU->setObjectName(QStringLiteral("MaxTextU"));
    m_minText = new QLabel(this);
    m_minText->setObjectName(QStringLiteral("MinText"));
    m_minTextU = new QLabel(this);
    m_minTextU->setObjectName(QStringLiteral("MinTextU"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_setMaxB, 0, 0);
    grid->addWidget(m_setmax, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("MAX: "), this), 0, 2);
    grid->addWidget(m_maxText, 0, 3);
    grid->addWidget(m_maxTextU, 0, 4);
    grid->addWidget(m_setMinB, 1, 0);
    grid->addWidget(m_setMin, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("MIN: "), this), 1, 2);
    grid->addWidget(m_minText, 1, 3);
    grid->addWidget(m_minTextU, 1, 4);
    grid->setColumnMinimumWidth(3, 60);
    grid->setColumnMinimumWidth(4, 30);

    // A click on a box takes the edit's text as well, as leaving the edit does.
    connect(m_setMaxB, &QCheckBox::clicked, this, [this](bool on) {
        m_scale.limits().setMaxEnabled(on);
        SetmaxExit();
    });
    connect(m_setMinB, &QCheckBox::clicked, this, [this](bool on) {
        m_scale.limits().setMinEnabled(on);
        SetMinExit();
    });
    // Every change of an edit applies its limit, so the arc's colouring follows at once.
    connect(m_setmax, &QLineEdit::textChanged, this, &ScaleLimitsWindow::SetmaxExit);
    connect(m_setMin, &QLineEdit::textChanged, this, &ScaleLimitsWindow::SetMinExit);
    connect(&m_scale, &AnalogScale::extremesChanged, this, [this] {
        if (isVisible()) {
            refreshExtremes();
        }
    });

    m_report = [this](const QString& message) {
        // The program's name, as on its other boxes.
        QWidget* owner = parentWidget() != nullptr ? parentWidget()->window() : this;
        QMessageBox::critical(this, owner->windowTitle(), message);
    };
    refreshExtremes();
}

void ScaleLimitsWindow::report(const std::string& message) {
    if (m_reporting) {
        return;
    }
    m_reporting = true;
    m_report(QString::fromStdString(message));
    m_reporting = false;
}

void ScaleLimitsWindow::SetmaxExit() {
    const QByteArray text = m_setmax->text().toLatin1();
    if (auto error =
            m_scale.limits().SetmaxExit(std::string_view(text.constData(), size_t(text.size())))) {
        report(*error);
        return;
    }
    m_scale.limitsChanged();
}

void ScaleLimitsWindow::SetMinExit() {
    const QByteArray text = m_setMin->text().toLatin1();
    if (auto error =
            m_scale.limits().SetMinExit(std::string_view(text.constData(), size_t(text.size())))) {
        report(*error);
        return;
    }
    m_scale.limitsChanged();
}

void ScaleLimitsWindow::refreshExtremes() {
    const ScaleLimits& limits = m_scale.limits();
    m_maxText->setText(fromStd(limits.maxText()));
    m_minText->setText(fromStd(limits.minText()));
    m_maxTextU->setText(unitForDisplay(limits.maxTextU()));
    m_minTextU->setText(unitForDisplay(limits.minTextU()));
}

bool ScaleLimitsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == m_setmax || watched == m_setMin)) {
        auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        // Navigation and editing keys pass; of the typed characters only SetmaxKeyPress's.
        if (key->key() == Qt::Key_Backspace) {
            return false;
        }
        if (text.size() == 1 && text.at(0).isPrint()) {
            const char c = text.at(0).toLatin1();
            return c == 0 || !ScaleLimits::SetmaxKeyPress(c);
        }
    }
    return QDialog::eventFilter(watched, event);
}
