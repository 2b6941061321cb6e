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
    return L" " + deviceName;
}

} // namespace settings
