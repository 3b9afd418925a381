#include "app/cli/cli_args.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <string>
#include <utility>

#include "transport/device_roots.h"

bool parseNumber(std::string_view text, double& out) {
    if (text.empty()) {
        return false;
    }
    const std::string s(text);
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) {
        return false;
    }
    out = v;
    return true;
}

bool parseCount(std::string_view text, long long& out) {
    long long v = 0;
    const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || p != text.data() + text.size() || v < 0) {
        return false;
    }
    out = v;
    return true;
}

std::optional<std::string> deviceRootProblem(const DeviceRoots& roots) {
    for (const auto& [path, option] :
         {std::pair{roots.sysfs, "--sysfs-root"}, std::pair{roots.dev, "--dev-root"}}) {
        std::error_code ec;
        if (!std::filesystem::is_directory(path, ec)) {
            return path + " is not a folder (" + option + ")";
        }
    }
    return std::nullopt;
}

std::optional<int> takeDeviceRootsOnly(int argc, char** argv, int first, const char* command,
                                       void (*printHelp)(std::FILE*), DeviceRoots& roots) {
    for (int i = first; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp(stdout);
            return 0;
        }
        std::optional<std::string> error;
        if (takeDeviceRootOption(argc, argv, i, roots, error)) {
            if (error) {
                std::fprintf(stderr, "%s: %s\n", command, error->c_str());
                return 2;
            }
            continue;
        }
        std::fprintf(stderr, "%s: unknown option '%s'\n", command, argv[i]);
        printHelp(stderr);
        return 2;
    }
    return std::nullopt;
}
