#include "app/window_options.h"

#include <string_view>

WindowOptions parseWindowOptions(int argc, char** argv) {
    WindowOptions options;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i > 0 && takeDeviceRootOption(argc, argv, i, options.roots, options.error)) {
            if (options.error) {
                break;
            }
        } else if (i > 0 && arg == "--demo") {
            options.demo = true;
        } else if (i > 0 && arg == "--port") {
            if (i + 1 >= argc) {
                options.error = "--port needs COMn=PATH";
                break;
            }
            if (auto error = options.ports.assign(argv[++i])) {
                options.error = std::move(error);
                break;
            }
        } else if (i > 0 && arg.starts_with("--port=")) {
            if (auto error = options.ports.assign(arg.substr(7))) {
                options.error = std::move(error);
                break;
            }
        } else {
            options.rest.emplace_back(arg);
        }
    }
    return options;
}
