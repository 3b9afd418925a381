#pragma once

#include <QObject>
#include <array>

class MeterSession;
class QMenu;
class QWidget;
class SerialConnectionControl;
class SerialConnectionView;
class TCommPortDriver;
class PortMap;

// The window's side of the serial link: the session's driver COMM2 and its connection control,
// shown on the window's selector panels, "COM Connect" button and hidden menus.
class SerialLink : public QObject {
    Q_OBJECT
public:
    struct Widgets {
        std::array<QWidget*, 4> panels{};  // BtCOM1 … BtCOM4
        QMenu* comSetupMenu = nullptr;     // ComSetup1 (may be null)
        QMenu* connectMenu = nullptr;      // Connect1 (may be null)
    };

    // The session must outlive the link. The window binds "COM Connect" to the control's
    // COMConClick and its showComConDown to the button. Nothing is opened here.
    SerialLink(const Widgets& widgets, MeterSession& session, QObject* parent = nullptr);
    ~SerialLink() override;

    TCommPortDriver& COMM2();
    SerialConnectionControl& control();
    SerialConnectionView& view() { return *m_view; }

    // The devices of COM1 … COM4 (tool tips follow). Takes effect at the next "COM Connect".
    void setPortMap(const PortMap& ports);

private:
    MeterSession& m_session;
    SerialConnectionView* m_view = nullptr;
};
