#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transport/loop/device_wait.h"
#include "transport/loop/event_loop.h"
#include "transport/serial/port_map.h"
#include "transport/serial/serial_port_backend.h"

// ComDrv32: the serial port driver.
enum TComPortNumber : std::uint8_t { pnCOM1, pnCOM2, pnCOM3, pnCOM4 };
enum TComPortBaudRate : std::uint8_t {
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200
};
enum TComPortDataBits : std::uint8_t { db5BITS, db6BITS, db7BITS, db8BITS };
enum TComPortStopBits : std::uint8_t { sb1BITS, sb1HALFBITS, sb2BITS };
enum TComPortParity : std::uint8_t { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum TComPortHwHandshaking : std::uint8_t { hhNONE, hhRTSCTS };
enum TComPortSwHandshaking : std::uint8_t { shNONE, shXONXOFF };

class TCommPortDriver;

// The receive notification: the bytes of one poll, DataSize ≥ 1 of them, valid only during the
// call.
using TComPortReceiveDataEvent = std::function<void(
    TCommPortDriver* Sender, const std::uint8_t* DataPtr, std::int32_t DataSize)>;

// Told once when an open port hangs up (adapter removed) and the driver does not wait for it;
// the driver has closed it already.
using TComPortLostEvent = std::function<void(TCommPortDriver* Sender)>;

// Told when the driver starts waiting for a port that hung up (Device: its path), and when the
// wait ends (Device empty): the port is open again, or Disconnect ended the wait.
using TComPortWaitingEvent =
    std::function<void(TCommPortDriver* Sender, const std::string& Device)>;

// A millisecond tick counter that wraps at 2^32.
using TickSource = std::function<std::uint32_t()>;

// Bit rate of each TComPortBaudRate, in the order of the enumeration.
std::uint32_t baudRateOf(TComPortBaudRate speed);

// Owns one serial port: opens and closes it, programs its line settings, polls it on a timer
// and hands every batch of received bytes to OnReceiveData. Single-threaded: every call,
// including the poll, runs on the thread that owns the timer.
class TCommPortDriver {
public:
    // The backend does the platform calls; the timer runs HandlePollTimer while the port is
    // open; ports names the device of each COMn; ticks drives the time-out of Send (a steady
    // clock when empty). Does not open the port.
    TCommPortDriver(std::unique_ptr<SerialPortBackend> backend, std::unique_ptr<LoopTimer> timer,
                    PortMap ports = PortMap(), TickSource ticks = {});
    // Closes an open port.
    ~TCommPortDriver();
    TCommPortDriver(const TCommPortDriver&) = delete;
    TCommPortDriver& operator=(const TCommPortDriver&) = delete;

    // Opens the port of ComPort and starts polling; true if open afterwards (also when it was
    // open already, then nothing changes). False when the device cannot be opened.
    bool Connect();
    // Stops polling and closes the port, or ends the wait for a lost port; nothing while closed.
    void Disconnect();
    bool Connected() const;
    // Waiting for a port that hung up to come back (closed meanwhile).
    bool Waiting() const { return m_wait && m_wait->waiting(); }
    // Why the last Connect failed, or what the device refused of the line settings while the
    // port still opened (7 data bits on a driver that runs 8): the backend's text for the user.
    // Empty after a Connect that opened and programmed the port as asked.
    const std::string& LastFailure() const { return m_lastFailure; }

    // Programs the settings into the open port and discards both queues; nothing while closed.
    // Refusals of the device are ignored.
    void ApplyPortSettings();
    // Discards the chosen queues of the open port; nothing while closed.
    void PurgeQueues(bool receive, bool transmit);
    // ComPortOutBufSize minus the bytes waiting to be sent (16-bit); 65535 while closed.
    std::uint16_t OutputFreeSpace();
    // Writes size bytes: returns the count written, negated when it gave up after OutputTimeout
    // ms without progress or on a device failure; 0 while closed or for size ≤ 0.
    std::int32_t Send(const void* data, std::int32_t size);

    // One poll: reads what is queued (at most ComPortInBufSize bytes) and hands it to
    // OnReceiveData. A hung-up device is closed here and OnPortLost is told. Never throws.
    void HandlePollTimer();

    // Properties. Setters follow the rules of the driver: ComPort and ComPortInBufSize are
    // ignored while open; a line setting changed while open is applied at once.
    TComPortNumber ComPort() const { return m_comPort; }
    void setComPort(TComPortNumber port);
    TComPortBaudRate ComPortSpeed() const { return m_speed; }
    void setComPortSpeed(TComPortBaudRate speed);
    TComPortDataBits ComPortDataBits() const { return m_dataBits; }
    void setComPortDataBits(TComPortDataBits bits);
    TComPortStopBits ComPortStopBits() const { return m_stopBits; }
    void setComPortStopBits(TComPortStopBits bits);
    TComPortParity ComPortParity() const { return m_parity; }
    void setComPortParity(TComPortParity parity);
    TComPortHwHandshaking ComPortHwHandshaking() const { return m_hw; }
    void setComPortHwHandshaking(TComPortHwHandshaking hw);
    TComPortSwHandshaking ComPortSwHandshaking() const { return m_sw; }
    void setComPortSwHandshaking(TComPortSwHandshaking sw);
    std::uint16_t ComPortInBufSize() const { return m_inBufSize; }
    void setComPortInBufSize(std::uint16_t size);
    std::uint16_t ComPortOutBufSize() const { return m_outBufSize; }
    // Stored at any time; reaches the device at the next ApplyPortSettings.
    void setComPortOutBufSize(std::uint16_t size) { m_outBufSize = size; }
    std::uint16_t ComPortPollingDelay() const { return m_pollingDelay; }
    void setComPortPollingDelay(std::uint16_t delayMs);
    bool EnableDTROnOpen() const { return m_enableDtr; }
    void setEnableDTROnOpen(bool enable) { m_enableDtr = enable; }
    std::uint16_t OutputTimeout() const { return m_outputTimeout; }
    void setOutputTimeout(std::uint16_t timeoutMs) { m_outputTimeout = timeoutMs; }
    void setOnReceiveData(TComPortReceiveDataEvent handler) {
        m_onReceiveData = std::move(handler);
    }
    void setOnPortLost(TComPortLostEvent handler) { m_onPortLost = std::move(handler); }
    void setOnPortWaiting(TComPortWaitingEvent handler) { m_onPortWaiting = std::move(handler); }
    // Reconnecting. With a wait given, a port that hangs up is not given up: the driver closes
    // it, tells OnPortWaiting and tries to open the same device path again at the wait's pace
    // (once a second); once it opens, the settings are programmed again, polling resumes and
    // OnPortWaiting is told the wait is over. Without one (the default) a hang-up ends at
    // OnPortLost. Set while closed.
    void setPortWait(std::unique_ptr<DeviceWait> wait) { m_wait = std::move(wait); }
    // While waiting, tries the lost port at once (a device was plugged in).
    void retryNow() {
        if (m_wait) {
            m_wait->tryNow();
        }
    }

    // The device each port name stands for; a change reaches the next Connect.
    const PortMap& portMap() const { return m_ports; }
    void setPortMap(PortMap ports) { m_ports = std::move(ports); }
    // Device path of the current ComPort.
    const std::string& devicePath() const { return m_ports.path(m_comPort); }

    // The line state ApplyPortSettings programs from the current settings.
    CommState commState() const;

private:
    bool openPort(const std::string& path);
    void closePort();
    bool reopen(const std::string& path);
    void endWait();
    std::uint32_t tick() const;

    std::unique_ptr<SerialPortBackend> m_backend;
    std::unique_ptr<LoopTimer> m_timer;
    PortMap m_ports;
    TickSource m_ticks;

    TComPortNumber m_comPort = pnCOM2;
    TComPortBaudRate m_speed = br9600;
    TComPortDataBits m_dataBits = db8BITS;
    TComPortStopBits m_stopBits = sb1BITS;
    TComPortParity m_parity = ptNONE;
    TComPortHwHandshaking m_hw = hhNONE;
    TComPortSwHandshaking m_sw = shNONE;
    std::uint16_t m_inBufSize = 2048;
    std::uint16_t m_outBufSize = 2048;
    std::uint16_t m_pollingDelay = 50;
    bool m_enableDtr = true;
    std::uint16_t m_outputTimeout = 4000;
    TComPortReceiveDataEvent m_onReceiveData;
    TComPortLostEvent m_onPortLost;
    TComPortWaitingEvent m_onPortWaiting;
    std::unique_ptr<DeviceWait> m_wait;

    std::vector<std::uint8_t> m_receiveBuffer;
    bool m_open = false;
    // Counts the opens, so a poll can tell that the port it read from is still the open one.
    std::uint64_t m_openCount = 0;
    std::string m_lastFailure;
};
