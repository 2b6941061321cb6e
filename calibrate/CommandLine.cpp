#include "calibrate/CommandLine.h"

namespace calibrate {

CommandLineOptions ParseCommandLine(const std::vector<std::wstring>& args)
{
    CommandLineOptions options;
    for (const std::wstring& arg : args) {
        if (!arg.empty() && (arg[0] == L'/' || arg[0] == L'-')) {
            if (arg.compare(1, std::wstring::npos, L"pt") == 0)
                options.customRange = true;
        } else if (!options.hasDeviceName && !arg.empty()) {
            options.hasDeviceName = true;
            options.deviceName = arg;
        }
    }
    return options;
}

} // namespace calibrate
