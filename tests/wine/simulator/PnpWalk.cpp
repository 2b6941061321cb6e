#include "PnpWalk.h"

#include <setupapi.h>

#include <cwchar>
#include <sstream>

namespace pnpwalk {
namespace {

Property Read(HDEVINFO set, SP_DEVINFO_DATA* devInfo, DWORD property)
{
    Property p;
    BYTE buffer[400] = {};
    DWORD type = 0;
    DWORD size = 0;
    SetLastError(0);
    p.ok = SetupDiGetDeviceRegistryPropertyW(set, devInfo, property, &type, buffer, sizeof(buffer), &size) != FALSE;
    p.error = p.ok ? 0 : GetLastError();
    p.type = type;
    p.size = size;
    if (p.ok && type == REG_SZ) {
        const wchar_t* text = reinterpret_cast<const wchar_t*>(buffer);
        p.text.assign(text, wcsnlen(text, sizeof(buffer) / sizeof(wchar_t)));
    }
    return p;
}

void Put(std::wostringstream& out, const wchar_t* name, const Property& p)
{
    out << L'\t' << name << L"ok=" << (p.ok ? 1 : 0) << L'\t' << name << L"error=" << p.error << L'\t' << name
        << L"type=" << p.type << L'\t' << name << L"size=" << p.size << L'\t' << name << L'=' << p.text;
}

bool Get(const std::wstring& line, const std::wstring& key, std::wstring* value)
{
    std::wstring tag = L"\t" + key + L"=";
    size_t at = (L"\t" + line).find(tag);
    if (at == std::wstring::npos)
        return false;
    size_t start = at + tag.size() - 1;
    size_t end = line.find(L'\t', start);
    *value = line.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
    return true;
}

bool GetNumber(const std::wstring& line, const std::wstring& key, DWORD* value)
{
    std::wstring text;
    if (!Get(line, key, &text))
        return false;
    *value = static_cast<DWORD>(wcstoul(text.c_str(), nullptr, 10));
    return true;
}

bool GetProperty(const std::wstring& line, const std::wstring& name, Property* p)
{
    DWORD ok = 0;
    return GetNumber(line, name + L"ok", &ok) && (p->ok = ok != 0, true) && GetNumber(line, name + L"error", &p->error)
        && GetNumber(line, name + L"type", &p->type) && GetNumber(line, name + L"size", &p->size)
        && Get(line, name, &p->text);
}

} // namespace

bool Walk(std::vector<Device>* devices, DWORD* error)
{
    devices->clear();
    HDEVINFO set = SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_ALLCLASSES);
    if (set == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    SP_DEVINFO_DATA devInfo = {};
    devInfo.cbSize = sizeof(devInfo);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &devInfo); ++i) {
        Device d;
        wchar_t id[200] = {};
        if (SetupDiGetDeviceInstanceIdW(set, &devInfo, id, 200, nullptr))
            d.instanceId = id;
        d.objectName = Read(set, &devInfo, SPDRP_PHYSICAL_DEVICE_OBJECT_NAME);
        d.manufacturer = Read(set, &devInfo, SPDRP_MFG);
        d.description = Read(set, &devInfo, SPDRP_DEVICEDESC);
        HKEY key = SetupDiOpenDevRegKey(set, &devInfo, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_ALL_ACCESS);
        if (key == INVALID_HANDLE_VALUE || key == nullptr) {
            d.keyError = GetLastError();
        } else {
            d.keyOpened = true;
            RegCloseKey(key);
        }
        devices->push_back(d);
    }
    SetupDiDestroyDeviceInfoList(set);
    return true;
}

std::wstring Format(const Device& d)
{
    std::wostringstream out;
    out << L"device\tinstance=" << d.instanceId;
    Put(out, L"name", d.objectName);
    Put(out, L"mfg", d.manufacturer);
    Put(out, L"desc", d.description);
    out << L"\tkey=" << (d.keyOpened ? 1 : 0) << L"\tkeyerror=" << d.keyError;
    return out.str();
}

bool Parse(const std::wstring& line, Device* d)
{
    if (line.compare(0, 7, L"device\t") != 0)
        return false;
    DWORD key = 0;
    return Get(line, L"instance", &d->instanceId) && GetProperty(line, L"name", &d->objectName)
        && GetProperty(line, L"mfg", &d->manufacturer) && GetProperty(line, L"desc", &d->description)
        && GetNumber(line, L"key", &key) && (d->keyOpened = key != 0, true) && GetNumber(line, L"keyerror", &d->keyError);
}

} // namespace pnpwalk
