#include "transport/serial/serial_connection_control.h"

SerialConnectionControl::SerialConnectionControl(TCommPortDriver& driver) : m_driver(driver) {
    // The selector starts as the window was designed (COM 1 shown, COM1 checked) whatever port
    // the driver holds; the model profile then selects the port at start-up.
}

void SerialConnectionControl::changed() {
    if (onChanged) {
        onChanged();
    }
}

void SerialConnectionControl::selectPort(int index) {
    if (index < 0 || index > 3) {
        return;
    }
    m_state.selectedPort = index;
    m_driver.setComPort(static_cast<TComPortNumber>(index));
    changed();
}

void SerialConnectionControl::selectorClicked() {
    if (m_state.selectorEnabled) {
        selectPort((m_state.selectedPort + 1) % 4);
    }
}

void SerialConnectionControl::COMConClick(bool down) {
    if (down) {
        m_state.comSetupEnabled = false;
        m_state.start1Checked = true;
        m_state.start1Enabled = false;
        m_state.stop1Enabled = true;
        m_state.stop1Checked = false;
        m_driver.Connect();  // a port that cannot be opened delivers nothing; no box
        m_state.failure = m_driver.LastFailure();
        m_state.btConVisible = false;
        m_state.btDisconVisible = true;
        m_state.selectorEnabled = false;
    } else {
        m_state.comSetupEnabled = true;
        m_state.start1Checked = false;
        m_state.start1Enabled = true;
        m_state.stop1Enabled = false;
        m_state.stop1Checked = true;
        m_driver.Disconnect();
        m_state.failure.clear();
        m_state.btConVisible = true;
        m_state.btDisconVisible = false;
        m_state.selectorEnabled = true;
    }
    changed();
}

void SerialConnectionControl::portLost() {
    const int port = static_cast<int>(m_driver.ComPort());
    const std::string path = port >= 0 && port < PortMap::kPortCount ? m_driver.portMap().path(port)
                                                                     : std::string("the port");
    m_state.failure = path +
                      ": the serial port went away; release \"COM Connect\" and press it "
                      "again once it is back";
    changed();
}

void SerialConnectionControl::BTCon1Click() {
    COMConClick(true);
    if (showComConDown) {
        showComConDown(true);
    }
}

void SerialConnectionControl::BtDiscon1Click() {
    COMConClick(false);
    if (showComConDown) {
        showComConDown(false);
    }
}
