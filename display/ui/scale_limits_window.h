#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <string_view>

class AnalogScale;
class QCheckBox;
class QLabel;
class QLineEdit;

// The scale's limit controls and running extremes (Panel3), offered in a small window: SetMaxB /
// SetMinB with their edits Setmax / SetMin, and MAX / MIN with their units. Editing a limit or
// ticking its box redraws the scale's face at once. Not modal: the extremes follow the frames.
class ScaleLimitsWindow : public QDialog {
    Q_OBJECT
public:
    explicit ScaleLimitsWindow(AnalogScale& scale, QWidget* parent = nullptr);

    QCheckBox* setMaxBox() const { return m_setMaxB; }
    QCheckBox* setMinBox() const { return m_setMinB; }
    QLineEdit* setmaxEdit() const { return m_setmax; }
    QLineEdit* setMinEdit() const { return m_setMin; }
    QLabel* maxText() const { return m_maxText; }
    QLabel* minText() const { return m_minText; }

    // What shows a limit text that is not a whole number; a message box unless a test replaces it.
    void setErrorReporter(std::function<void(const QString&)> report) {
        m_report = std::move(report);
    }

public slots:
    void SetmaxExit();
    void SetMinExit();
    // Shows the running extremes as they are now.
    void refreshExtremes();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void report(const std::string& message);

    AnalogScale& m_scale;
    QCheckBox* m_setMaxB = nullptr;
    QCheckBox* m_setMinB = nullptr;
    QLineEdit* m_setmax = nullptr;
    QLineEdit* m_setMin = nullptr;
    QLabel* m_maxText = nullptr;
    QLabel* m_maxTextU = nullptr;
    QLabel* m_minText = nullptr;
    QLabel* m_minTextU = nullptr;
    std::function<void(const QString&)> m_report;
    bool m_reporting = false;  // the message box takes the focus: no second report
};

// The meter's glyph characters in a unit text as the symbols they stand for ("K *" -> "K Ω",
// "#" -> "°C", "?" -> "°F", "<" -> "°", ")" -> diode). Never fails.
QString unitForDisplay(std::string_view unitText);
