// Devices on Windows: an in-process provider when one is registered under the
// name, else the kernel device \\.\<name> through CreateFileA and a
// synchronous DeviceIoControl.
//
// A provider device still gets a real kernel handle, an unnamed event that
// nothing ever signals, so that its value is unique while open, can never
// collide with a kernel device's handle and is released by CloseHandle like
// any other. A small table maps those handles to their provider links.
#include <windows.h>

#include <array>
#include <cstring>

#include "providers.h"
#include "zel.h"

namespace {

using zel::osa::ProviderLink;

// "\\.\" + at most kMaxDeviceNameLength characters + NUL.
constexpr std::size_t kDevicePathSize = 56;
constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr std::size_t kDevicePrefixLength = sizeof(kDevicePrefix) - 1;
static_assert(kDevicePrefixLength + zel::osa::kMaxDeviceNameLength + 1 == kDevicePathSize);

// A provider stays in this table from its open until its handle is closed,
// even when it was unregistered meanwhile (its link has gone stale then), so
// there is room for more opens than there can be providers at once.
constexpr std::size_t kMaxProviderDevices = 4 * zel::osa::kMaxProviders;

struct ProviderDevice {
    HANDLE token = nullptr;
    ProviderLink link{};
};

SRWLOCK g_tableLock = SRWLOCK_INIT;
std::array<ProviderDevice, kMaxProviderDevices> g_devices;

class TableLock {
public:
    TableLock() { AcquireSRWLockExclusive(&g_tableLock); }
    ~TableLock() { ReleaseSRWLockExclusive(&g_tableLock); }
    TableLock(const TableLock &) = delete;
    TableLock &operator=(const TableLock &) = delete;
};

// A handle for an opened provider, or INVALID_HANDLE_VALUE (the provider is
// closed again) when no event or table entry is left.
HANDLE AttachProvider(const ProviderLink &link) {
    HANDLE token = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (token != nullptr) {
        TableLock lock;
        for (auto &device : g_devices) {
            if (device.token == nullptr) {
                device.token = token;
                device.link = link;
                return token;
            }
        }
    }
    if (token != nullptr) CloseHandle(token);
    zel::osa::ProviderClose(link);
    return INVALID_HANDLE_VALUE;
}

bool FindProvider(HANDLE handle, ProviderLink *pLink) {
    if (handle == nullptr) return false;
    TableLock lock;
    for (const auto &device : g_devices) {
        if (device.token == handle) {
            *pLink = device.link;
            return true;
        }
    }
    return false;
}

// Removes the handle's entry; the caller closes the provider and the handle.
bool DetachProvider(HANDLE handle, ProviderLink *pLink) {
    if (handle == nullptr) return false;
    TableLock lock;
    for (auto &device : g_devices) {
        if (device.token == handle) {
            *pLink = device.link;
            device = ProviderDevice{};
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" {

ZEL_API OSA_HANDLE ZEL_CALLCONV OsaDeviceOpen(const char *pszName) {
    // A longer name does not fit the path buffer: refused, never truncated.
    if (pszName == nullptr) return INVALID_HANDLE_VALUE;
    const std::size_t length = strnlen(pszName, zel::osa::kMaxDeviceNameLength + 1);
    if (length > zel::osa::kMaxDeviceNameLength) return INVALID_HANDLE_VALUE;

    ProviderLink link;
    switch (zel::osa::ProviderOpen(pszName, &link)) {
        case zel::osa::ProviderOpenResult::kOpened:
            return AttachProvider(link);
        case zel::osa::ProviderOpenResult::kRefused:
            return INVALID_HANDLE_VALUE;
        case zel::osa::ProviderOpenResult::kNotFound:
            break;
    }

    char path[kDevicePathSize];
    std::memcpy(path, kDevicePrefix, kDevicePrefixLength);
    std::memcpy(path + kDevicePrefixLength, pszName, length + 1);
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceClose(OSA_HANDLE hDevice) {
    ProviderLink link;
    if (DetachProvider(hDevice, &link)) {
        // An unregister meanwhile has closed the provider already; the handle
        // is released all the same.
        zel::osa::ProviderClose(link);
    }
    return static_cast<ZEL_BOOL>(CloseHandle(hDevice));
}

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceIoControl(OSA_HANDLE hDevice, ZEL_UINT32 nControlCode, const void *pIn,
                                                 ZEL_UINT32 cbIn, void *pOut, ZEL_UINT32 cbOut,
                                                 ZEL_UINT32 *pcbReturned) {
    ProviderLink link;
    if (FindProvider(hDevice, &link)) {
        return zel::osa::ProviderIoControl(link, nControlCode, pIn, cbIn, pOut, cbOut, pcbReturned);
    }
    // DWORD is unsigned long here, ZEL_UINT32 unsigned int: the same 32 bits,
    // another type. A failed call leaves the count as the system left it.
    DWORD returned = pcbReturned != nullptr ? *pcbReturned : 0;
    const BOOL done = DeviceIoControl(hDevice, nControlCode, const_cast<void *>(pIn), cbIn, pOut, cbOut, &returned,
                                      nullptr);
    if (pcbReturned != nullptr) *pcbReturned = returned;
    return static_cast<ZEL_BOOL>(done);
}

}  // extern "C"
