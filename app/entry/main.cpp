#include "app/cli/command_line.h"
#include "app/ui/report_command.h"
#include "app/ui/start_window.h"

int main(int argc, char** argv) {
    return runCommandLine(argc, argv, &startWindow, {{"report", runReportCommand, "IN OUT.pdf"}});
}
