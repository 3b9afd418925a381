#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// Where the ports COM1 … COM4 live on this machine: a device path per port, /dev/ttyS0 …
// /dev/ttyS3 unless mapped elsewhere (a USB adapter, a pseudo-terminal).
class PortMap {
public:
    static constexpr int kPortCount = 4;

    PortMap();

    // Device path of the port with this index (0 = COM1 … 3 = COM4); index must be 0..3.
    const std::string& path(int index) const { return m_paths[index]; }
    // Maps a port to a device; index must be 0..3.
    void setPath(int index, std::string path) { m_paths[index] = std::move(path); }

    // Applies one "COMn=PATH" assignment (n 1..4, case-insensitive "com", PATH not empty).
    // Returns an error message for the user, or nullopt when applied.
    std::optional<std::string> assign(std::string_view assignment);

private:
    std::array<std::string, kPortCount> m_paths;
};
