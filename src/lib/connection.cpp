// Connect, release and the connection's state: one process-wide handle on
// the driver's control device, and nothing else.
#include "connection.h"

#include <atomic>
#include <cstdint>

#include "appqueue.h"
#include "capture_tap.h"
#include "request.h"

namespace zel {
namespace {

std::uintptr_t FromHandle(OSA_HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

bool IsConnected() { return g_connection.load(std::memory_order_acquire) != kNotConnected; }

ZEL_RESULT SendVersion() {
    using R = core::connect_lib;
    Request<R> request;
    request.Put<R::nVersionWord0>(kLibraryVersionWord0);
    request.Put<R::nVersionWord1>(kLibraryVersionWord1);
    return request.Send();
}

// The common connect procedure; only ZelDrvConnectLib prepares the
// application event queue table. The connection stays open whatever the
// driver answers to the version.
ZEL_RESULT Connect(const char *pszDevice, ZEL_RESULT alreadyConnected, ZEL_RESULT notOpened, bool prepareQueues) {
    if (IsConnected()) return alreadyConnected;
    const OSA_HANDLE handle = OsaDeviceOpen(pszDevice);
    g_connection.store(FromHandle(handle), std::memory_order_release);
    capture::OnConnect(pszDevice, handle);
    if (handle == OSA_INVALID_HANDLE_VALUE) return notOpened;
    if (prepareQueues) ZelAppEventQueuesInit();
    return SendVersion();
}

}  // namespace

constinit std::atomic<std::uintptr_t> g_connection{kNotConnected};

std::uint32_t ConnectionHandleWord() {
    return static_cast<std::uint32_t>(g_connection.load(std::memory_order_acquire));
}

}  // namespace zel

extern "C" {

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvConnectLib(void) {
    return zel::Connect(zel::kDrvDeviceName, zel::kDrvAlreadyConnected, zel::kDrvDeviceNotOpened, true);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelNetConnectLib(void) {
    return zel::Connect(zel::kNetDeviceName, zel::kNetAlreadyConnected, zel::kNetDeviceNotOpened, false);
}

ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvReleaseLib(void) {
    const OSA_HANDLE handle = zel::ConnectionHandle();
    if (handle == OSA_INVALID_HANDLE_VALUE) return zel::kReleaseNotConnected;
    OsaDeviceClose(handle);
    zel::g_connection.store(zel::kNotConnected, std::memory_order_release);
    zel::ZelAppEventQueuesRelease();
    zel::capture::OnRelease();
    return 0;
}

// It cannot fail: a null pointer is given nothing.
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvIsLibConnected(ZEL_BOOL *pbConnected) {
    if (pbConnected != nullptr) *pbConnected = zel::IsConnected() ? 1 : 0;
    return 0;
}

// Not connected is reported first, whatever the pointer.
ZEL_API ZEL_RESULT ZEL_CALLCONV ZelDrvGetHandle(OSA_HANDLE *phDriver) {
    const OSA_HANDLE handle = zel::ConnectionHandle();
    if (handle == OSA_INVALID_HANDLE_VALUE) return zel::kGetHandleNotConnected;
    if (phDriver == nullptr) return zel::kGetHandleNullOut;
    *phDriver = handle;
    return 0;
}

}  // extern "C"
