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

// One argument of a command line; `quoted` when it began with a quote, which makes it plain
// even if its text starts with '/' or '-' (how the settings program hands over such a name).
struct CommandArgument {
    std::wstring text;
    bool quoted = false;
};

// Splits a whole command line the Windows way (spaces and tabs outside quotes; 2n backslashes
// and a quote give n backslashes and toggle quoting, 2n + 1 give n and a literal quote; other
// backslashes are literal), after the program name, which is taken up to the first space or
// tab, or between quotes, without escapes. The program name is not returned.
std::vector<CommandArgument> SplitCommandLine(const std::wstring& commandLine);

// The options of a whole command line (GetCommandLineW), program name first.
CommandLineOptions ParseWholeCommandLine(const std::wstring& commandLine);

} // namespace calibrate
