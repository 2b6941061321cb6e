// Prints the SetupAPI walk of the USB devices, one line per device (see PnpWalk.h).
#include "PnpWalk.h"

#include <cstdio>

int wmain()
{
    std::vector<pnpwalk::Device> devices;
    DWORD error = 0;
    if (!pnpwalk::Walk(&devices, &error)) {
        fwprintf(stderr, L"walk failed, error %lu\n", error);
        return 1;
    }
    for (const pnpwalk::Device& d : devices)
        wprintf(L"%ls\n", pnpwalk::Format(d).c_str());
    return 0;
}
