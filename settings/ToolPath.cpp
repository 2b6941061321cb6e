#include "settings/ToolPath.h"

namespace settings {

bool JoinToolPath(const std::wstring& directory, const std::wstring& name, std::wstring& path)
{
    const bool hasSeparator = !directory.empty() && directory.back() == L'\\';
    const size_t length = directory.size() + (hasSeparator ? 0 : 1) + name.size();
    if (length + 1 > kMaxPath)
        return false;
    path = directory;
    if (!hasSeparator)
        path += L'\\';
    path += name;
    return true;
}

std::wstring CalibrationCommandLine(const std::wstring& deviceName)
{
    const bool quote = deviceName.find_first_of(L" \t\"") != std::wstring::npos
                    || (!deviceName.empty() && (deviceName[0] == L'-' || deviceName[0] == L'/'));
    if (!quote)
        return L" " + deviceName;
    std::wstring line = L" \"";
    size_t slashes = 0;
    for (wchar_t c : deviceName) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        // Backslashes before a quote are doubled and the quote escaped; others stay single.
        line.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        line.push_back(c);
    }
    // Before the closing quote, too.
    line.append(slashes * 2, L'\\');
    line.push_back(L'"');
    return line;
}

} // namespace settings
