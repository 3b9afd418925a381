#pragma once

#include <functional>
#include <string>

#include "transport/serial/comm_port_driver.h"

// What the serial connection control shows: the visible selector panel, the enabled states,
// and the hidden mirrors (the ComSetup and Connect menus, the Connect/Disconnect panels).
struct SerialControlState {
    int selectedPort = 0;         // 0 = COM1: panel BtCOM(n+1) visible, menu item checked
    bool selectorEnabled = true;  // BtCOM1 … BtCOM4
    bool comSetupEnabled = true;  // menu ComSetup1
    bool start1Checked = true;    // menu item START1
    bool start1Enabled = true;
    bool stop1Checked = false;  // menu item STOP1
    bool stop1Enabled = false;
    bool btConVisible = true;      // hidden panel BTCon
    bool btDisconVisible = false;  // hidden panel BtDiscon
    // Why the last press of "COM Connect" did not give a working port (the device path, the
    // system's reason, the fix); empty when it did, and once the button is released.
    std::string failure;

    friend bool operator==(const SerialControlState&, const SerialControlState&) = default;
};

// The serial connection control: choose COM1 … COM4 and open or close the port with "COM
// Connect". It shows no message boxes: a port that cannot be opened leaves the button down and
// delivers nothing, and the reason is kept in the state for the window to show beside it.
// The "COM Connect" button itself is shown by the toggle group it belongs to.
class SerialConnectionControl {
public:
    // The driver is not owned and must outlive the control.
    explicit SerialConnectionControl(TCommPortDriver& driver);

    const SerialControlState& state() const { return m_state; }
    // Device path of port index 0..3, for the selector's tool tip.
    const std::string& portPath(int index) const { return m_driver.portMap().path(index); }
    // Port selection (COM11Click … COM41Click): index 0..3; ignored outside that range.
    void selectPort(int index);
    // A click on the visible selector panel: selects the next port, COM4 wrapping to COM1.
    // Ignored while the panels are disabled.
    void selectorClicked();
    // COMConClick: the button's new state opens (down) or closes (up) the port.
    void COMConClick(bool down);
    // The hidden Connect/Disconnect controls: open (close) as COMConClick does, then show "COM
    // Connect" down (up) through showComConDown.
    void BTCon1Click();
    void BtDiscon1Click();
    // The driver lost its open port (the adapter was pulled out): the failure says so until
    // "COM Connect" is released. The button stays down, as after a failed open.
    void portLost();

    // Shows the "COM Connect" button down or up without running its handler (the toggle
    // group's setDown); empty until the window binds its button.
    std::function<void(bool down)> showComConDown;

    // Called after every change of the state (to repaint).
    std::function<void()> onChanged;

private:
    void changed();

    TCommPortDriver& m_driver;
    SerialControlState m_state;
};
