// Devices on Windows: an in-process provider when the registry serves the
// name (a registered provider, or the fallback when an image has put one in
// its slot), else the kernel device \\.\<name> through CreateFileA and a
// synchronous DeviceIoControl.
//
// A provider device still gets a real kernel handle, an unnamed event that
// nothing ever signals, so that its value is unique while open and can never
// collide with a kernel device's handle. A small table maps those handles to
// their provider links.
#include <windows.h>

#include <array>
#include <cstring>

#include <zel/zel.h>
#include "providers.h"

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
// The system hands a closed handle's value to the next object it creates, so
// a closed provider handle is kept open (and refused) for this many later
// closes: a stale handle then fails instead of reaching a newer device.
constexpr std::size_t kClosedKept = 64;

enum class DeviceState : unsigned char { kFree, kOpen, kClosed };

struct ProviderDevice {
    HANDLE token = nullptr;
    ProviderLink link{};
    DeviceState state = DeviceState::kFree;
};

struct DeviceTable {
    SRWLOCK lock = SRWLOCK_INIT;
    std::array<ProviderDevice, kMaxProviderDevices + kClosedKept> devices;
    std::array<ProviderDevice *, kClosedKept> closed{};  // oldest first from closedHead
    std::size_t closedHead = 0;
    std::size_t closedCount = 0;
};

constinit DeviceTable g_table;

class TableLock {
public:
    TableLock() { AcquireSRWLockExclusive(&g_table.lock); }
    ~TableLock() { ReleaseSRWLockExclusive(&g_table.lock); }
    TableLock(const TableLock &) = delete;
    TableLock &operator=(const TableLock &) = delete;
};

ProviderDevice *Find(HANDLE handle) {
    if (handle == nullptr) return nullptr;
    for (auto &device : g_table.devices) {
        if (device.state != DeviceState::kFree && device.token == handle) return &device;
    }
    return nullptr;
}

std::size_t OpenCount() {
    std::size_t open = 0;
    for (const auto &device : g_table.devices) open += device.state == DeviceState::kOpen ? 1 : 0;
    return open;
}

// A handle for an opened provider, or INVALID_HANDLE_VALUE (the provider is
// closed again) when no event or table entry is left.
HANDLE AttachProvider(const ProviderLink &link) {
    HANDLE token = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (token != nullptr) {
        TableLock lock;
        if (OpenCount() < kMaxProviderDevices) {
            for (auto &device : g_table.devices) {
                if (device.state == DeviceState::kFree) {
                    device = ProviderDevice{token, link, DeviceState::kOpen};
                    return token;
                }
            }
        }
    }
    if (token != nullptr) CloseHandle(token);
    zel::osa::ProviderClose(link);
    return INVALID_HANDLE_VALUE;
}

enum class Detached { kNotProvider, kOpen, kClosed };

Detached FindProvider(HANDLE handle, ProviderLink *pLink) {
    TableLock lock;
    const ProviderDevice *device = Find(handle);
    if (device == nullptr) return Detached::kNotProvider;
    if (device->state == DeviceState::kClosed) return Detached::kClosed;
    *pLink = device->link;
    return Detached::kOpen;
}

// Ends a provider handle: it stays kept (and refused) among the recently
// closed ones; the oldest of those is released for good. The caller closes
// the provider.
Detached DetachProvider(HANDLE handle, ProviderLink *pLink) {
    HANDLE released = nullptr;
    {
        TableLock lock;
        ProviderDevice *device = Find(handle);
        if (device == nullptr) return Detached::kNotProvider;
        if (device->state == DeviceState::kClosed) return Detached::kClosed;
        *pLink = device->link;
        device->state = DeviceState::kClosed;
        if (g_table.closedCount == kClosedKept) {
            ProviderDevice *oldest = g_table.closed[g_table.closedHead];
            released = oldest->token;
            *oldest = ProviderDevice{};
            g_table.closedHead = (g_table.closedHead + 1) % kClosedKept;
            --g_table.closedCount;
        }
        g_table.closed[(g_table.closedHead + g_table.closedCount) % kClosedKept] = device;
        ++g_table.closedCount;
    }
    if (released != nullptr) CloseHandle(released);
    return Detached::kOpen;
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
    switch (DetachProvider(hDevice, &link)) {
        case Detached::kOpen:
            // An unregister meanwhile has closed the provider already; the
            // handle is closed all the same.
            zel::osa::ProviderClose(link);
            return 1;
        case Detached::kClosed:
            return 0;
        case Detached::kNotProvider:
            break;
    }
    // The no-device value is also the process's own pseudo-handle, which
    // CloseHandle would "close" successfully; no device is open under it.
    if (hDevice == INVALID_HANDLE_VALUE) return 0;
    return static_cast<ZEL_BOOL>(CloseHandle(hDevice));
}

ZEL_API ZEL_BOOL ZEL_CALLCONV OsaDeviceIoControl(OSA_HANDLE hDevice, ZEL_UINT32 nControlCode, const void *pIn,
                                                 ZEL_UINT32 cbIn, void *pOut, ZEL_UINT32 cbOut,
                                                 ZEL_UINT32 *pcbReturned) {
    ProviderLink link;
    switch (FindProvider(hDevice, &link)) {
        case Detached::kOpen:
            return zel::osa::ProviderIoControl(link, nControlCode, pIn, cbIn, pOut, cbOut, pcbReturned);
        case Detached::kClosed:
            return 0;
        case Detached::kNotProvider:
            break;
    }
    // DWORD is unsigned long here, ZEL_UINT32 unsigned int: the same 32 bits,
    // another type. A failed call leaves the count as the system left it.
    DWORD returned = pcbReturned != nullptr ? *pcbReturned : 0;
    const BOOL done =
        DeviceIoControl(hDevice, nControlCode, const_cast<void *>(pIn), cbIn, pOut, cbOut, &returned, nullptr);
    if (pcbReturned != nullptr) *pcbReturned = returned;
    return static_cast<ZEL_BOOL>(done);
}

}  // extern "C"
