#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "meter/frame_decoder.h"
#include "meter/hid_report_collector.h"
#include "transport/hid/bounded_log.h"

// What the cable link needs of one HID device. The link's list owns the devices it checked out;
// destroying one releases it (checks it back in with the controller).
class HidLinkDevice {
public:
    // One input report: the report ID and the payload after it.
    using DataHandler =
        std::function<void(std::uint8_t reportId, const std::uint8_t* data, std::size_t size)>;

    virtual ~HidLinkDevice() = default;
    // QueryProductText, QuerySerialText: UTF-8, empty when the device has none.
    virtual std::string productText() = 0;
    virtual std::string serialText() = 0;
    // DeviceAttributes.
    virtual std::uint16_t vendorId() const = 0;
    virtual std::uint16_t productId() const = 0;
    // Whether the device could be opened for reading and writing.
    virtual bool readWriteAccess() const = 0;
    // The node every open of the device uses (/dev/hidrawN); what the user knows it by.
    virtual std::string node() const = 0;
    // SendFeature: report[0] is the report ID. False when it failed.
    virtual bool sendFeature(const std::uint8_t* report, std::size_t length) = 0;
    // SetDataHandler: a handler starts the device's reader (when it can read), an empty one
    // stops it. Reports reach the handler on the user-interface thread, one at a time.
    virtual void setDataHandler(DataHandler handler) = 0;
    // Whether the device's reader runs: a handler is set, the reader could open the device and
    // has not stopped since (a device that went away stops it).
    virtual bool reading() const = 0;
};

// What the cable link needs of the device controller.
class HidLinkController {
public:
    virtual ~HidLinkController() = default;
    // EnumerateDevices: calls the link's HidCtlEnumerate for every plugged device, in list order.
    virtual void enumerateDevices() = 0;
    // CheckOutAt: the device at that index of the controller's list, checked out to the link;
    // nullptr when it cannot be checked out.
    virtual std::unique_ptr<HidLinkDevice> checkOutAt(int index) = 0;
};

// The HID cable link: the device list with the cable selected, starting and stopping HID
// reading, the feature report that sets up the cable, the logs, and the cable-idle check. Its
// handlers carry the names the window publishes; the window forwards its events to them. All of
// it runs on the user-interface thread. Errors are never raised: the user is told through the
// window's callbacks, as the handlers say.
//
// Reconnect (setReconnect): while "HID Connect" is down, a cable that goes away (its reader
// stops, or a device-change pass no longer lists it) is waited for with the button left down, and
// read again, feature report first, as soon as a pass lists a cable that "HID Connect" would choose
// or a retry finds the selected one readable. The frame the loss cut is dropped. Releasing the
// button, or pressing another link's, ends the waiting. Without reconnect a device-change pass
// releases "HID Connect" and reading starts again only when the user presses it.
class HidCableLink {
public:
    // One DevListBox entry.
    struct Entry {
        std::uint64_t id = 0;  // unique for the link's lifetime
        std::string caption;
        std::unique_ptr<HidLinkDevice> device;  // null when the check-out failed
    };

    // What the link reads with: the handler installed on a device.
    enum class Reader { None, HidReportData, PelmarkReportData };

    static constexpr std::int32_t kIdleReports = 1900;
    static constexpr std::string_view kNotConnectedText =
        "USB interface cable is not securely connected, please check and re-try.";
    static constexpr std::string_view kMeterNotReadyText =
        "USB interface cable is securely connected, please check if the meter is ready.";

    // The controller and the decoder are not owned and must outlive the link. hidHandler is the
    // profile's choice (ProfileSettings::hidHandler): whether "HID Connect" installs
    // HidReportData or only stops reading.
    HidCableLink(HidLinkController& controller, FrameDecoder& decoder, bool hidHandler = true);
    ~HidCableLink();
    HidCableLink(const HidCableLink&) = delete;
    HidCableLink& operator=(const HidCableLink&) = delete;

    // --- the controller's events ---
    // HidCtlEnumerate: lists the device, checks it out at index. Always true (go on).
    bool HidCtlEnumerate(HidLinkDevice& hidDev, int index);
    // HidCtlDeviceChange: stops reading (releasing "HID Connect" if it was reading), releases
    // every listed device, lists them afresh and selects the cable.
    void HidCtlDeviceChange();
    // HidCtlArrival, HidCtlRemoval: "Arrival of " / "Removal of " + caption in the history.
    void HidCtlArrival(HidLinkDevice& hidDev);
    void HidCtlRemoval(HidLinkDevice& hidDev);
    // HidCtlDeviceDataError: "READ ERROR: <system message> (<code in hex>)" in the history.
    void HidCtlDeviceDataError(std::uint32_t error);

    // --- the user's clicks; down is the button's new state ---
    // USBConClick ("HID Connect"): feature report, then start (down) or stop (up) reading. A
    // press starts with no frame open. A release while waiting only ends the waiting.
    void USBConClick(bool down);
    // ReadBtnClick: start (down) or stop (up) reading with PelmarkReportData. Where ReadBtn does
    // not serve this build (readBtnServes() false) a press releases ReadBtn and only stops. Ends
    // any waiting: "HID Connect" is up when ReadBtn is clicked.
    void ReadBtnClick(bool down);
    // Whether ReadBtn serves this build: it reads with PelmarkReportData, the handler of the
    // other meter model's cable, whose decoder does nothing here; a build whose "HID Connect"
    // reads with HidReportData offers it disabled.
    bool readBtnServes() const { return !m_hidHandler; }
    // SetFeatureClick: sends the cable's 10-byte feature report to the selected device.
    void SetFeatureClick();
    // ClearBtnClick: empties the history.
    void ClearBtnClick();
    // The user selects a DevListBox entry (-1: none). Out-of-range indexes select none.
    void select(int index);

    // The cable-idle check, run by the connection indicator on each tick on which it falls
    // back: after kIdleReports reports in a row without meter bytes, stops reading, resets the
    // count and releases "HID Connect", then posts the message (never shown inside the tick).
    void cableIdleCheck();

    // --- reconnect ---
    // Off at construction.
    void setReconnect(bool on) { m_reconnect = on; }
    bool reconnect() const { return m_reconnect; }
    // The reader of the device the link reads has stopped for good (the device went away). With
    // reconnect and "HID Connect" down: stops reading, drops the cut frame and waits for the cable
    // (onWaitingFor). Otherwise nothing changes until the next device-change pass.
    void readingLost();
    // One more try while waiting: the selected device is read again when it opens for reading
    // and writing. Whoever drives the link calls it at most once a second while waiting() (after
    // a device-change pass when the system gives no hot-plug notices). Nothing when not waiting.
    void retryCable();
    // Waiting for a lost cable, "HID Connect" down.
    bool waiting() const { return m_waiting; }
    // The device waited for (the lost one's node); empty when not waiting.
    const std::string& awaited() const { return m_awaited; }
    // "HID Connect" is down for the link: it reads with HidReportData, or waits.
    bool connected() const { return m_connected; }

    // --- state for the views ---
    const std::vector<Entry>& entries() const { return m_entries; }
    int selectedIndex() const { return m_selected; }
    // CurrentHidDevice: the device the last click took from the selection; null when none was
    // selected or the entry has since been released.
    HidLinkDevice* currentDevice() const;
    const Entry* currentEntry() const;
    // The device the link's handler is installed on and which handler; null / None when the
    // link is not reading.
    HidLinkDevice* readingDevice() const;
    Reader reader() const { return m_reader; }
    const BoundedLog& history() const { return m_history; }  // HistoryListBox
    const BoundedLog& memo1() const { return m_memo1; }      // Memo1: frame nibbles
    const BoundedLog& memo2() const { return m_memo2; }      // Memo2: frame bytes
    HidReportCollector& collector() { return m_collector; }
    const HidReportCollector& collector() const { return m_collector; }

    // The 10-byte feature report: report ID 0, 9600 bit/s little-endian, 3, zeros.
    static const std::uint8_t kFeatureReport[10];
    // The caption of a device in the list and the log (DeviceCaption).
    static std::string deviceCaption(HidLinkDevice& hidDev);

    // --- what the window does for the link (each may be left empty) ---
    // Show "HID Connect" (USBCon) or ReadBtn released without running its handler.
    std::function<void()> releaseUsbCon;
    std::function<void()> releaseReadBtn;
    // A modal information message with an OK button, shown at once.
    std::function<void(std::string_view text)> informationMessage;
    // Runs a task after the current event has been handled (the window queues it on its event
    // loop); empty: the task runs at once.
    std::function<void(std::function<void()> task)> post;
    // Called after the list, the selection or a log changed (to repaint).
    std::function<void()> onChanged;
    // The link starts waiting for the device named (never empty), or has stopped waiting (empty):
    // the cable is read again, or the user released "HID Connect".
    std::function<void(const std::string& device)> onWaitingFor;

private:
    class Logs;

    // SetFeatureClick; false when nothing was selected and "HID Connect" was released.
    bool setFeature();
    // ReadBtnClick's steps, also run by USBConClick and HidCtlDeviceChange.
    void readBtn(bool down);
    // With "HID Connect" kept down: reads the selected cable again, or waits for it (named lost).
    void resumeOrWait(const std::string& lost);
    // Reads the selected device as a press of "HID Connect" would, when it opens for reading and
    // writing; whether its reader runs now.
    bool resume();
    // Stops waiting (and says so); nothing when not waiting.
    void endWaiting();
    // Shows "HID Connect" released (releaseUsbCon): the link is no longer connected or waiting.
    void showUsbConReleased();
    // The name of the device the link reads (its node), for the waiting notice.
    std::string readingName() const;
    Entry* selectedEntry();
    // Makes the selected entry the current one; nullptr when nothing is selected, or (after
    // calling release, which puts its button up) when its device cannot be read and written.
    Entry* readableSelection(const std::function<void()>& release);
    Entry* entryById(std::uint64_t id);
    // Installs a handler on the entry's device (None: clears it) and keeps track of it.
    void setReader(Entry* entry, Reader reader);
    // Clears the link's handler from the device it reads, whichever that is.
    void stopReading();
    void logHistory(std::string_view line);
    void changed();

    HidLinkController& m_controller;
    bool m_hidHandler;
    std::vector<Entry> m_entries;
    std::uint64_t m_nextId = 1;
    int m_selected = -1;
    std::uint64_t m_currentId = 0;  // CurrentHidDevice's entry; 0 = none
    std::uint64_t m_readingId = 0;  // the entry whose device carries the link's handler
    Reader m_reader = Reader::None;
    bool m_reconnect = false;
    bool m_connected = false;  // "HID Connect" down: reading with HidReportData, or waiting
    bool m_waiting = false;
    std::string m_awaited;
    BoundedLog m_history;
    BoundedLog m_memo1;
    BoundedLog m_memo2;
    HidReportCollector m_collector;
    std::unique_ptr<Logs> m_logs;
};
