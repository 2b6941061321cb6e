// Linked like the shipped programs (static C++ runtime, subsystem 5.0) and using what they use from
// the C++ library, so the static checks see the MinGW runtime's imports even before they exist.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    std::wstring text(commandLine ? commandLine : L"");
    std::vector<std::wstring> words;
    std::wistringstream in(text);
    for (std::wstring word; in >> word;)
        words.push_back(word);
    try {
        if (words.size() > 1000)
            throw std::length_error("too many words");
    } catch (const std::exception& e) {
        std::fputs(e.what(), stderr);
        return 2;
    }
    auto count = std::make_unique<size_t>(words.size());
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"%u", static_cast<unsigned>(*count));
    return *count == 0 && buffer[0] == L'0' ? 0 : 1;
}
