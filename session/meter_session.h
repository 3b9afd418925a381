#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "lcd/connection_indicator.h"
#include "meter/clock.h"
#include "meter/model_profile.h"
#include "meter/reading_pipeline.h"
#include "recording/recorder.h"
#include "recording/table_store.h"
#include "transport/device_roots.h"
#include "transport/loop/event_loop.h"
#include "transport/serial/port_map.h"

class DeviceNotices;
class DescriptorWatch;
class HidBackend;
class HidCableBinding;
class SerialConnectionControl;
class TCommPortDriver;
class TJvHidDeviceController;
class UsbXpressLink;

// One meter session: the three links, the reading pipeline they feed and the recording whose
// row sinks are the outputs, built once and run on one event loop. The window drives it
// through its buttons; halvern log builds one from its options and runs the loop. Every link
// is built here only, on the platform's backends, so a fix in a link reaches both.
// Single-threaded: everything runs on the loop's thread.
class MeterSession {
public:
    struct Options {
        ReceiveHandler handler = ReceiveHandler::QuillerData;  // the serial frame handler
        bool hidHandler = true;  // the HID cable's report handler (profile)
        std::string decimalSeparator = ".";
        DeviceRoots roots;  // where the USB bridge and the HID cable are looked for
        PortMap ports;      // the devices of COM1 .. COM4
        ConnectionIndicator* indicator = nullptr;  // the window's; null: the session ticks its own
        Recorder* recorder = nullptr;  // the window's; null: the session records on its own
        // A link whose device goes away while it should be reading waits for the device to come
        // back and opens it again; false: the link ends as a lost device did before.
        bool reconnect = true;
        // Where a waiting serial link or USB bridge hears of devices plugged in, made when the
        // first one starts waiting; empty: the system's (udev), if there are any to be had.
        std::function<std::unique_ptr<DeviceNotices>()> deviceNotices;
    };

    // Nothing is opened. The loop and the clock must outlive the session.
    MeterSession(EventLoop& loop, Clock& clock, Options options);
    ~MeterSession();
    MeterSession(const MeterSession&) = delete;
    MeterSession& operator=(const MeterSession&) = delete;

    EventLoop& loop() { return m_loop; }
    // Everything the decoder drives, in the order added; add before the first frame. The
    // recording step is the caller's (the window's controls, the logger's frame limit).
    ConsumerList& consumers() { return m_consumers; }
    ReadingPipeline& pipeline() { return *m_pipeline; }
    FrameDecoder& decoder() { return m_pipeline->decoder(); }
    Recorder& recorder() { return *m_recorder; }
    TableStore& table() { return *m_table; }
    // The outputs of recorded rows.
    RowSinkList& sinks() { return m_recorder->sinks(); }
    ConnectionIndicator& indicator() { return *m_indicator; }
    const Options& options() const { return m_options; }
    // Where the USB bridge and the HID cable are looked for; before the link is first used.
    void setRoots(const DeviceRoots& roots) { m_options.roots = roots; }

    // The serial link: the driver COMM2 on the platform's ports, polled on the loop, port COM4
    // and 7 data bits until chosen otherwise; its bytes go to the pipeline's frame handler.
    TCommPortDriver& serial() { return *m_serial; }
    SerialConnectionControl& serialControl() { return *m_serialControl; }
    // The USB bridge link, Timer1 on the loop, built at the first call; it looks for bridges
    // under the roots set at each press.
    UsbXpressLink& usbBridge();
    // The HID device controller and the cable link bound to it, built at the first call on the
    // roots then set, its readers and hot-plug on the loop and its idle check on the indicator.
    // The caller sets the link's callbacks and binds it. With Options::reconnect the cable is
    // waited for when it goes while "HID Connect" is down, reported through waitingFor(). Null
    // when the controller cannot be made (another controller exists): hidProblem() says why.
    HidCableBinding* hid();
    const std::string& hidProblem() const { return m_hidProblem; }
    TJvHidDeviceController* hidController() { return m_hidController.get(); }
    // Why the node of a listed HID device cannot be opened for reading and writing, with the node
    // named (the udev hint when permission is denied); empty when it opens.
    std::string hidAccessProblem(const std::string& node);

    // Every chunk of bytes a serial or USB bridge link took, before it is decoded (a capture).
    std::function<void(const std::uint8_t* data, std::size_t size)> onLinkBytes;
    // After every input of any link has been decoded and recorded (a batch's end).
    std::function<void()> afterInput;
    // A link lost its device and waits for it to come back (the device named, such as
    // "/dev/ttyUSB0"), or waits no more (empty): it has the device again, or it was released.
    // The window shows it on the LCD panel, halvern log on standard error. Links report through
    // waitingFor(); the serial link and the USB bridge wait only with Options::reconnect.
    std::function<void(const std::string& device)> onWaitingFor;
    void waitingFor(const std::string& device) {
        if (onWaitingFor) {
            onWaitingFor(device);
        }
    }

private:
    class IndicatorMark;
    void linkBytes(const std::uint8_t* data, std::size_t size);
    void listenForDevices();

    EventLoop& m_loop;
    Options m_options;
    ConsumerList m_consumers;
    std::unique_ptr<ReadingPipeline> m_pipeline;
    std::unique_ptr<TableStore> m_ownTable;
    std::unique_ptr<Recorder> m_ownRecorder;
    TableStore* m_table = nullptr;
    Recorder* m_recorder = nullptr;
    std::unique_ptr<ConnectionIndicator> m_ownIndicator;
    std::unique_ptr<LoopTimer> m_indicatorTimer;
    std::unique_ptr<IndicatorMark> m_indicatorMark;
    ConnectionIndicator* m_indicator = nullptr;
    std::unique_ptr<TCommPortDriver> m_serial;
    std::unique_ptr<SerialConnectionControl> m_serialControl;
    std::unique_ptr<UsbXpressLink> m_usb;
    // The system's notices of devices plugged in, heard while a link waits.
    std::unique_ptr<DeviceNotices> m_notices;
    std::unique_ptr<DescriptorWatch> m_noticesWatch;
    bool m_noticesTried = false;
    // Made in this order, destroyed the other way round.
    std::unique_ptr<HidBackend> m_hidBackend;
    std::unique_ptr<TJvHidDeviceController> m_hidController;
    std::unique_ptr<HidCableBinding> m_hidBinding;
    int m_idleCheckId = 0;
    std::string m_hidProblem;
};
