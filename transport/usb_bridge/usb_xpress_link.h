#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "meter/usb_frame_assembly.h"
#include "transport/loop/device_wait.h"
#include "transport/loop/event_loop.h"
#include "transport/usb_bridge/usb_xpress.h"

// The USB bridge link behind "USB Connect ": pressing opens the single attached bridge at
// 9600 bit/s and starts Timer1 (10 ms), which reads one byte per tick and hands it to the
// link's frame assembler; releasing stops the timer and closes the bridge. Single-threaded:
// every call, the ticks included, runs on the thread that owns the timer.
//
// No device, several devices or a failed open leave the link started but silent; statusText
// says what happened. With a device wait (setDeviceWait), a bridge that goes away while the link
// runs is looked for once a second and opened again when the same USB device is back, found by
// its ids and serial number, or by its USB port when it has no serial number. A handle the link
// holds is never dropped: a second start keeps it when the new open fails (the device is ours
// already), replaces it only by a fresh open of another device, and the end closes whatever is
// held.
class UsbXpressLink {
public:
    static constexpr unsigned kTimer1IntervalMs = 10;
    static constexpr std::uint32_t kBaudRate = 9600;
    static constexpr std::uint32_t kTimeoutMs = 500;

    // The interface and the timer are owned; the decoder gets every frame that passes the
    // assembler's test. Nothing is opened here.
    UsbXpressLink(std::unique_ptr<UsbXpress> si, std::unique_ptr<LoopTimer> timer,
                  FrameDecoder& decoder);
    // A link whose decoder is bound later with bindDecoder, before the first tick (a caller
    // that opens the bridge before it builds what the frames feed).
    UsbXpressLink(std::unique_ptr<UsbXpress> si, std::unique_ptr<LoopTimer> timer);
    void bindDecoder(FrameDecoder& decoder) { m_assembler.emplace(decoder); }
    // Stops the timer and closes a held device.
    ~UsbXpressLink();
    UsbXpressLink(const UsbXpressLink&) = delete;
    UsbXpressLink& operator=(const UsbXpressLink&) = delete;

    // USBClick: the button's new state starts (down) or ends (up) the link.
    void USBClick(bool down);
    // The start and end steps.
    void start();
    void end();
    // Opens the device (usb_dllClick): counts the bridges, opens the only one, sets its speed
    // and time-outs.
    void usb_dllClick();
    // One tick of Timer1: one read and, for a byte, the assembler's steps. Never throws.
    void Timer1Timer();
    // Stops Timer1 only (the exit); the device stays as it is.
    void stopTimer() { m_timer->stop(); }
    // Reconnecting: a bridge that goes away is released and waited for with this wait (Timer1
    // rests meanwhile, onWaitingFor is told its path); once the same USB device can be opened
    // again, Timer1 reads it as after a start and onWaitingFor is told an empty name. Without
    // one (the default) a lost bridge ends at onDeviceLost. Set before the link starts.
    void setDeviceWait(std::unique_ptr<DeviceWait> wait) { m_wait = std::move(wait); }
    // Waiting for the bridge to come back.
    bool waiting() const { return m_wait && m_wait->waiting(); }
    // While waiting, looks for the bridge at once (a device was plugged in).
    void retryNow() {
        if (m_wait) {
            m_wait->tryNow();
        }
    }

    bool timerActive() const { return m_timer->isActive(); }
    // Whether a device is open (a handle held).
    bool holdsDevice() const { return m_handle != 0; }
    std::uint32_t UsbDeviceCount() const { return m_deviceCount; }
    // An open was attempted since the last start.
    bool UsbOpened() const { return m_opened; }
    // What the last start found, for the button's tool tip: "" before any start and after an
    // end, "no USB bridge found", "2 USB bridges found", the device path when open, or the
    // path and the system's reason when the open failed or the bridge went away.
    const std::string& statusText() const { return m_status; }
    // The frame assembler (a decoder must be bound).
    UsbFrameAssembler& assembler() { return *m_assembler; }
    UsbXpress& si() { return *m_si; }

    // Told every byte a tick took, after the assembler handled it (captures, stop conditions).
    std::function<void(std::uint8_t byte)> onByteTaken;
    // Told once when reads find the held device gone (bridge unplugged) and the link does not
    // wait for it.
    std::function<void()> onDeviceLost;
    // Told the bridge's path when the link starts waiting for it, and an empty name when the wait
    // ends: the bridge is open again, or the link ended.
    std::function<void(const std::string& device)> onWaitingFor;
    // Told after statusText changed.
    std::function<void()> onStatusChanged;

private:
    void setStatus(std::string text);
    void closeHeld();
    void configureOpened(SI_HANDLE opened);
    void startWaiting();
    bool reopenSame();
    void endWait();

    std::unique_ptr<UsbXpress> m_si;
    std::unique_ptr<LoopTimer> m_timer;
    std::optional<UsbFrameAssembler> m_assembler;
    SI_HANDLE m_handle = 0;
    std::string m_heldPath;
    std::uint32_t m_deviceCount = 0;
    bool m_opened = false;
    bool m_lost = false;
    std::string m_status;
    std::unique_ptr<DeviceWait> m_wait;
    // The USB device opened last, found again by it after an unplug.
    std::optional<UsbDeviceIdentity> m_identity;
};
