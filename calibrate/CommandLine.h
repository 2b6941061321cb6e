// The calibration program's command line, from arguments already split the Windows way.
#pragma once

#include <string>
#include <vector>

namespace calibrate {

struct CommandLineOptions {
    bool hasDeviceName = false;
    std::wstring deviceName;   // first plain argument: the controller's device object name
    bool customRange = false;  // switch "pt" ("/pt" or "-pt"), exact case
};

// args excludes the program name. An argument starting with '/' or '-' is a switch named by
// the rest; only "pt" means something. The first non-empty plain argument is the device
// name; further plain arguments are ignored.
CommandLineOptions ParseCommandLine(const std::vector<std::wstring>& args);

} // namespace calibrate
