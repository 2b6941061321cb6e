#include "calibrate/CommandLine.h"

namespace calibrate {

namespace {

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

void Take(CommandLineOptions& options, const std::wstring& arg, bool quoted)
{
    if (!quoted && !arg.empty() && (arg[0] == L'/' || arg[0] == L'-')) {
        if (arg.compare(1, std::wstring::npos, L"pt") == 0)
            options.customRange = true;
    } else if (!options.hasDeviceName && !arg.empty()) {
        options.hasDeviceName = true;
        options.deviceName = arg;
    }
}

} // namespace

CommandLineOptions ParseCommandLine(const std::vector<std::wstring>& args)
{
    CommandLineOptions options;
    for (const std::wstring& arg : args)
        Take(options, arg, false);
    return options;
}

std::vector<CommandArgument> SplitCommandLine(const std::wstring& line)
{
    std::vector<CommandArgument> args;
    size_t i = 0;
    const size_t n = line.size();
    // The program name: no escapes in it.
    if (i < n && line[i] == L'"') {
        const size_t close = line.find(L'"', i + 1);
        i = close == std::wstring::npos ? n : close + 1;
    }
    while (i < n && !IsBlank(line[i]))
        ++i;
    for (;;) {
        while (i < n && IsBlank(line[i]))
            ++i;
        if (i >= n)
            break;
        CommandArgument arg;
        arg.quoted = line[i] == L'"';
        bool inQuotes = false;
        while (i < n && (inQuotes || !IsBlank(line[i]))) {
            if (line[i] == L'\\') {
                size_t slashes = 0;
                while (i < n && line[i] == L'\\') {
                    ++slashes;
                    ++i;
                }
                if (i < n && line[i] == L'"') {
                    arg.text.append(slashes / 2, L'\\');
                    if (slashes % 2 == 1) {
                        arg.text.push_back(L'"');
                        ++i;
                    }
                } else {
                    arg.text.append(slashes, L'\\');
                }
            } else if (line[i] == L'"') {
                if (inQuotes && i + 1 < n && line[i + 1] == L'"') {
                    arg.text.push_back(L'"');
                    i += 2;
                } else {
                    inQuotes = !inQuotes;
                    ++i;
                }
            } else {
                arg.text.push_back(line[i]);
                ++i;
            }
        }
        args.push_back(arg);
    }
    return args;
}

CommandLineOptions ParseWholeCommandLine(const std::wstring& commandLine)
{
    CommandLineOptions options;
    for (const CommandArgument& arg : SplitCommandLine(commandLine))
        Take(options, arg.text, arg.quoted);
    return options;
}

} // namespace calibrate
