// One request end to end (ZelDrvEnable) to a provider that answers at once,
// against calling that provider's function directly, on 1 and 2 threads;
// and one request to the simulated board (a register read).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include <zel/zel.h>
#include <zel/zelsim.h>
#include <zel/zelsim_board.h>
#include <zel/zelsim_devices.h>
#include "bench_support.h"
#include "requests.h"

namespace {

constexpr ZEL_HANDLE kPhysicalDevice = 0x10000001u;

ZEL_BOOL ZEL_CALLCONV Open(void *) { return 1; }
void ZEL_CALLCONV Close(void *) {}
// Answers every request with result 0 and a full response.
ZEL_BOOL ZEL_CALLCONV Answer(void *, ZEL_UINT32, const void *, ZEL_UINT32, void *pOut, ZEL_UINT32 cbOut,
                             ZEL_UINT32 *pcbReturned) {
    std::memset(pOut, 0, cbOut);
    *pcbReturned = cbOut;
    return 1;
}

// Registers the provider as the driver and connects, for one benchmark.
class ConnectedToAnswer {
public:
    ConnectedToAnswer() {
        const OsaDeviceProvider provider{nullptr, &Open, &Answer, &Close};
        OsaDeviceRegisterProvider("ZELDRV", &provider);
        ZelDrvConnectLib();
    }
    ~ConnectedToAnswer() {
        ZelDrvReleaseLib();
        OsaDeviceUnregisterProvider("ZELDRV");
    }
};

ConnectedToAnswer *g_connection = nullptr;

void Request(benchmark::State &state) {
    if (state.thread_index() == 0) g_connection = new ConnectedToAnswer;
    for (auto _ : state) benchmark::DoNotOptimize(ZelDrvEnable(kPhysicalDevice, 1, 2));
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        delete g_connection;
        g_connection = nullptr;
    }
}
BENCHMARK(Request)->Name("Requests/Enable/zel")->Threads(1)->Threads(2)->UseRealTime();

// The floor: the same provider function called with a request of the same size.
void DirectCall(benchmark::State &state) {
    ZEL_BOOL(ZEL_CALLCONV *volatile pfn)
    (void *, ZEL_UINT32, const void *, ZEL_UINT32, void *, ZEL_UINT32, ZEL_UINT32 *) = &Answer;
    std::uint8_t in[zel::req::kEnable.cbIn] = {};
    std::uint8_t out[zel::req::kEnable.cbOut];
    for (auto _ : state) {
        ZEL_UINT32 count = 0;
        benchmark::DoNotOptimize(
            pfn(nullptr, zel::ControlCode(zel::req::kEnable.function), in, sizeof in, out, sizeof out, &count));
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(DirectCall)->Name("Requests/Enable/direct")->Threads(1)->Threads(2)->UseRealTime();

void SimulatorRequest(benchmark::State &state) {
    ZelSimInstall();
    ZelDrvConnectLib();
    ZEL_HANDLE device = 0;
    ZelDrvOpenPhysicalDevice(ZELSIM_BOARD, ZELSIM_DEVTYPE_FXS, 3, ZELSIM_OPEN_EXCLUSIVE, 0, &device);
    ZEL_UINT32 value = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(ZelDrvReadReg32(device, 0, &value));
    }
    state.SetItemsProcessed(state.iterations());
    ZelDrvClose(device);
    ZelDrvReleaseLib();
    ZelSimUninstall();
}
BENCHMARK(SimulatorRequest)->Name("Requests/ReadReg32/simulator");

}  // namespace
