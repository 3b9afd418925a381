#include "transport/hid/hid_cable_link.h"

#include <cstdio>
#include <cstring>

#include "transport/hid/hid_device_caption.h"

const std::uint8_t HidCableLink::kFeatureReport[10] = {0x00, 0x80, 0x25, 0x00, 0x00,
                                                       0x03, 0x00, 0x00, 0x00, 0x00};

// Puts the report handlers' lines into the link's bounded logs.
class HidCableLink::Logs final : public HidReportLog {
public:
    explicit Logs(HidCableLink& link) : m_link(link) {}
    void reportLine(std::string_view line) override { m_link.logHistory(line); }
    void frameLines(std::string_view hidHexText, std::string_view nibbles) override {
        m_link.m_memo2.add(hidHexText);
        m_link.m_memo1.add(nibbles);
        m_link.changed();
    }

private:
    HidCableLink& m_link;
};

HidCableLink::HidCableLink(HidLinkController& controller, FrameDecoder& decoder, bool hidHandler)
    : m_controller(controller),
      m_hidHandler(hidHandler),
      m_collector(decoder),
      m_logs(std::make_unique<Logs>(*this)) {
    m_memo1.add("Memo1");
    m_memo2.add("Memo2");
    m_collector.setLog(m_logs.get());
}

HidCableLink::~HidCableLink() {
    stopReading();
    // Released first to last, as a device-change pass does.
    for (Entry& entry : m_entries) {
        entry.device.reset();
    }
}

std::string HidCableLink::deviceCaption(HidLinkDevice& hidDev) {
    return DeviceCaption(hidDev.productText(), hidDev.serialText(), hidDev.vendorId(),
                         hidDev.productId());
}

bool HidCableLink::HidCtlEnumerate(HidLinkDevice& hidDev, int index) {
    Entry entry;
    entry.id = m_nextId++;
    entry.caption = deviceCaption(hidDev);
    entry.device = m_controller.checkOutAt(index);
    m_entries.push_back(std::move(entry));
    return true;
}

void HidCableLink::HidCtlDeviceChange() {
    // Releasing the devices stops every reader. With reconnect a pressed "HID Connect" stays
    // down: the cable is read again at once when the pass lists it, and waited for otherwise.
    // Without, the user must see that "HID Connect" is no longer reading, or a mouse plugged in
    // would silently stop the meter.
    const bool keep = m_reconnect && m_connected;
    const std::string lost = m_waiting ? m_awaited : readingName();
    const bool wasReading = m_reader != Reader::None;
    if (releaseReadBtn) {
        releaseReadBtn();
    }
    readBtn(false);
    if (wasReading && !keep) {
        showUsbConReleased();
    }

    // CurrentHidDevice names a device about to be released: clear it first, so nothing can
    // reach a released device through it.
    m_currentId = 0;
    m_readingId = 0;
    m_reader = Reader::None;
    m_selected = -1;
    for (Entry& entry : m_entries) {
        entry.device.reset();
    }
    m_entries.clear();

    m_controller.enumerateDevices();

    std::vector<std::string> captions;
    captions.reserve(m_entries.size());
    for (const Entry& entry : m_entries) {
        captions.push_back(entry.caption);
    }
    m_selected = selectCableEntry(captions);
    if (keep) {
        resumeOrWait(lost);
    }
    changed();
}

void HidCableLink::HidCtlArrival(HidLinkDevice& hidDev) {
    logHistory("Arrival of " + deviceCaption(hidDev));
}

void HidCableLink::HidCtlRemoval(HidLinkDevice& hidDev) {
    logHistory("Removal of " + deviceCaption(hidDev));
}

void HidCableLink::HidCtlDeviceDataError(std::uint32_t error) {
    // The system's message without trailing blanks, line breaks and full stops.
    std::string message = std::strerror(static_cast<int>(error));
    while (!message.empty() && std::strchr(" \t\r\n.", message.back()) != nullptr) {
        message.pop_back();
    }
    char code[16];
    std::snprintf(code, sizeof code, "%X", error);
    logHistory("READ ERROR: " + message + " (" + code + ")");
}

void HidCableLink::USBConClick(bool down) {
    const bool wasWaiting = m_waiting;
    endWaiting();
    m_connected = false;
    readBtn(false);  // "HID Connect" and ReadBtn share the group: ReadBtn is up
    if (wasWaiting && !down) {
        // Released to stop waiting for a cable that is away: there is nothing to set up, and
        // "not securely connected" would only tell the user what they acted on.
        m_collector.resetEmptyReportCount();
        changed();
        return;
    }
    if (!setFeature()) {
        // "HID Connect" was released. The message's own event loop may have listed a cable
        // meanwhile; reading must still not start behind a released button.
        down = false;
    }
    m_collector.resetEmptyReportCount();
    // Bytes of an earlier reading joined to this one's would make one frame out of two.
    m_collector.dropFrame();
    Entry* entry = readableSelection([this] { showUsbConReleased(); });
    if (entry != nullptr && down) {
        setReader(entry, m_hidHandler ? Reader::HidReportData : Reader::None);
    }
    m_connected = down && m_reader == Reader::HidReportData;
    changed();
}

void HidCableLink::ReadBtnClick(bool down) {
    endWaiting();
    m_connected = false;
    readBtn(down);
}

void HidCableLink::readBtn(bool down) {
    if (down && !readBtnServes()) {
        // Its handler would swap this model's frames for a decoder that does nothing: the LCD,
        // the table and the chart would freeze behind a pressed button.
        if (releaseReadBtn) {
            releaseReadBtn();
        }
        down = false;
    }
    // Released: whatever device the link reads stops, even when the selection has moved to
    // another entry since reading started.
    if (!down) {
        stopReading();
    }
    Entry* entry = readableSelection(releaseReadBtn);
    if (entry != nullptr) {
        setReader(entry, down ? Reader::PelmarkReportData : Reader::None);
    }
    changed();
}

HidCableLink::Entry* HidCableLink::readableSelection(const std::function<void()>& release) {
    m_currentId = 0;
    Entry* entry = selectedEntry();
    if (entry == nullptr) {
        return nullptr;
    }
    m_currentId = entry->id;
    if (entry->device == nullptr || !entry->device->readWriteAccess()) {
        if (release) {
            release();
        }
        return nullptr;
    }
    return entry;
}

void HidCableLink::SetFeatureClick() {
    setFeature();
}

bool HidCableLink::setFeature() {
    m_currentId = 0;
    Entry* entry = selectedEntry();
    if (entry == nullptr) {
        if (informationMessage) {
            informationMessage(kNotConnectedText);
        }
        showUsbConReleased();
        return false;
    }
    m_currentId = entry->id;
    if (entry->device != nullptr) {
        entry->device->sendFeature(kFeatureReport, sizeof kFeatureReport);  // result not used
    }
    // Report bytes 0 to 9, the whole report.
    char line[3 * sizeof kFeatureReport + 1];
    for (std::size_t i = 0; i < sizeof kFeatureReport; ++i) {
        std::snprintf(line + 3 * i, 4, "%.2X ", unsigned{kFeatureReport[i]});
    }
    logHistory(line);
    return true;
}

void HidCableLink::ClearBtnClick() {
    m_history.clear();
    changed();
}

void HidCableLink::select(int index) {
    m_selected = index >= 0 && index < static_cast<int>(m_entries.size()) ? index : -1;
    changed();
}

void HidCableLink::cableIdleCheck() {
    if (m_collector.emptyReportCount() < kIdleReports) {
        return;
    }
    // Everything that stops reading happens now, inside the indicator's tick; the message waits
    // until the tick is over, so the box's own event loop can never run a second tick inside
    // this one, and it shows only once.
    m_collector.resetEmptyReportCount();
    showUsbConReleased();
    if (HidLinkDevice* device = currentDevice()) {
        device->setDataHandler({});
    }
    stopReading();
    changed();
    auto show = [message = informationMessage] {
        if (message) {
            message(kMeterNotReadyText);
        }
    };
    if (post) {
        post(show);
    } else {
        show();
    }
}

void HidCableLink::showUsbConReleased() {
    // A released button waits for nothing.
    m_connected = false;
    endWaiting();
    if (releaseUsbCon) {
        releaseUsbCon();
    }
}

void HidCableLink::readingLost() {
    if (!m_reconnect || !m_connected || m_waiting || m_reader == Reader::None) {
        return;
    }
    const std::string lost = readingName();
    stopReading();
    m_collector.dropFrame();
    m_collector.resetEmptyReportCount();
    m_waiting = true;
    m_awaited = lost;
    if (onWaitingFor) {
        onWaitingFor(m_awaited);
    }
    changed();
}

void HidCableLink::retryCable() {
    if (!m_waiting) {
        return;
    }
    resumeOrWait(m_awaited);
    changed();
}

void HidCableLink::resumeOrWait(const std::string& lost) {
    if (resume()) {
        endWaiting();
        return;
    }
    if (!m_waiting) {
        m_waiting = true;
        m_awaited = lost.empty() ? std::string("USB to Serial") : lost;
        if (onWaitingFor) {
            onWaitingFor(m_awaited);
        }
    }
}

bool HidCableLink::resume() {
    Entry* entry = selectedEntry();
    // Tried before anything is sent: a cable listed but not yet readable (its permissions are
    // still being set) is tried again at the next retry without a line in the history.
    if (entry == nullptr || entry->device == nullptr || !entry->device->readWriteAccess()) {
        return false;
    }
    // As a press of "HID Connect" reads it: a cable plugged in again needs its line set up.
    setFeature();
    m_collector.resetEmptyReportCount();
    m_collector.dropFrame();
    setReader(entry, Reader::HidReportData);
    if (!entry->device->reading()) {
        setReader(entry, Reader::None);
        return false;
    }
    return true;
}

void HidCableLink::endWaiting() {
    if (!m_waiting) {
        return;
    }
    m_waiting = false;
    m_awaited.clear();
    if (onWaitingFor) {
        onWaitingFor(std::string());
    }
}

std::string HidCableLink::readingName() const {
    HidLinkDevice* device = readingDevice();
    return device != nullptr ? device->node() : std::string();
}

HidLinkDevice* HidCableLink::currentDevice() const {
    const Entry* entry = currentEntry();
    return entry != nullptr ? entry->device.get() : nullptr;
}

const HidCableLink::Entry* HidCableLink::currentEntry() const {
    return const_cast<HidCableLink*>(this)->entryById(m_currentId);
}

HidLinkDevice* HidCableLink::readingDevice() const {
    const Entry* entry = const_cast<HidCableLink*>(this)->entryById(m_readingId);
    return entry != nullptr ? entry->device.get() : nullptr;
}

HidCableLink::Entry* HidCableLink::selectedEntry() {
    if (m_selected < 0 || m_selected >= static_cast<int>(m_entries.size())) {
        return nullptr;
    }
    return &m_entries[static_cast<std::size_t>(m_selected)];
}

HidCableLink::Entry* HidCableLink::entryById(std::uint64_t id) {
    if (id == 0) {
        return nullptr;
    }
    for (Entry& entry : m_entries) {
        if (entry.id == id) {
            return &entry;
        }
    }
    return nullptr;
}

void HidCableLink::setReader(Entry* entry, Reader reader) {
    if (entry == nullptr || entry->device == nullptr) {
        return;
    }
    if (reader == Reader::None) {
        entry->device->setDataHandler({});
        if (m_readingId == entry->id) {
            m_readingId = 0;
            m_reader = Reader::None;
        }
        return;
    }
    // One device at a time feeds the shared collector: reports of two devices would mix.
    if (m_readingId != 0 && m_readingId != entry->id) {
        stopReading();
    }
    if (reader == Reader::HidReportData) {
        entry->device->setDataHandler(
            [this](std::uint8_t id, const std::uint8_t* data, std::size_t size) {
                m_collector.HidReportData(id, data, size);
            });
    } else {
        entry->device->setDataHandler(
            [this](std::uint8_t id, const std::uint8_t* data, std::size_t size) {
                m_collector.PelmarkReportData(id, data, size);
            });
    }
    m_readingId = entry->id;
    m_reader = reader;
}

void HidCableLink::stopReading() {
    if (Entry* entry = entryById(m_readingId); entry != nullptr && entry->device != nullptr) {
        entry->device->setDataHandler({});
    }
    m_readingId = 0;
    m_reader = Reader::None;
}

void HidCableLink::logHistory(std::string_view line) {
    m_history.add(line);
    changed();
}

void HidCableLink::changed() {
    if (onChanged) {
        onChanged();
    }
}
