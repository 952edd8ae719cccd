// The interface against a hostile driver: every reply (whether the call
// succeeds, the byte count, the bytes) comes from the fuzzer. Oracles: each
// operation's result is what the transport rule makes of the reply it got,
// and the outputs the operations derive from a reply keep their contracts
// (no handle on failure, the end marker where the reply never reached the
// iterator, no count above the caller's room).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include <zel/zel.h>
#include "connection.h"
#include "requests.h"
#include "words.h"

namespace {

// One reply as the driver made it.
struct Answer {
    std::uint32_t function = 0;
    std::uint32_t cbOut = 0;
    bool succeeded = false;
    std::uint32_t count = 0;
    std::vector<std::uint8_t> out;  // the output buffer after the driver wrote it
    std::uint32_t written = 0;      // how many leading bytes the driver wrote
};

FuzzedDataProvider *g_input = nullptr;
std::vector<Answer> g_answers;

ZEL_BOOL ZEL_CALLCONV Open(void *) { return 1; }
void ZEL_CALLCONV Close(void *) {}

ZEL_BOOL ZEL_CALLCONV IoControl(void *, ZEL_UINT32 nControlCode, const void *, ZEL_UINT32, void *pOut, ZEL_UINT32 cbOut,
                                ZEL_UINT32 *pcbReturned) {
    FuzzedDataProvider &in = *g_input;
    Answer answer;
    answer.function = zel::FunctionNumber(nControlCode);
    answer.cbOut = cbOut;
    answer.succeeded = in.ConsumeIntegral<std::uint8_t>() < 224;
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0:
        case 1:
            answer.count = cbOut;
            break;
        case 2:
            answer.count = in.ConsumeIntegralInRange<std::uint32_t>(0, cbOut + 8);
            break;
        default:
            answer.count = in.ConsumeIntegral<std::uint32_t>();
            break;
    }
    // The driver writes as many bytes as it reports (never past the output).
    answer.written = std::min(answer.count, cbOut);
    const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(answer.written);
    auto *out = static_cast<std::uint8_t *>(pOut);
    std::memset(out, 0, answer.written);
    if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
    answer.out.assign(out, out + cbOut);
    *pcbReturned = answer.count;
    g_answers.push_back(answer);
    return answer.succeeded ? 1 : 0;
}

// The transport rule, from the reply alone.
ZEL_RESULT RuleResult(const Answer &a) {
    const bool compact = a.function == zel::req::kGetDeviceHandle.function;
    std::uint32_t at = a.cbOut - 4;
    if (compact) at = zel::req::kGetDeviceHandle.resultOffset;
    if (a.function == zel::req::kGetAttributeValue.function) at = zel::req::kGetAttributeValue.resultOffset;
    if (a.count == 0) return compact ? zel::kTransportEmptyResponseCompact : zel::kTransportEmptyResponse;
    if (!a.succeeded) return compact ? zel::kTransportCallFailedCompact : zel::kTransportCallFailed;
    if (a.written < at + 4) return compact ? zel::kTransportEmptyResponseCompact : zel::kTransportEmptyResponse;
    return static_cast<ZEL_RESULT>(zel::protocol::GetWord(a.out, at));
}

// A response word as the operation sees it: the bytes the driver wrote,
// and where it stopped, the bytes the field started with.
std::uint32_t Field(const Answer &a, const zel::Word &field, std::uint32_t start) {
    const std::uint32_t offset = field.offset;
    std::uint32_t word = 0;
    for (std::uint32_t i = 0; i < 4; ++i) {
        const std::uint32_t byte = offset + i < a.written ? a.out[offset + i] : (start >> (8 * i)) & 0xFFu;
        word |= byte << (8 * i);
    }
    return word;
}

// An oracle that fails names itself, so a finding says which promise broke.
#define Check(condition) \
    ((condition) ? (void)0 : (std::fprintf(stderr, "oracle failed, line %d: %s\n", __LINE__, #condition), std::abort()))

ZEL_HANDLE AnyHandle(FuzzedDataProvider &in) {
    static const ZEL_HANDLE kHandles[] = {0,           0x10000001u, 0x20000002u,
                                          0x40000004u, 0x30000003u, ZEL_INVALID_HANDLE_VALUE};
    return in.ConsumeBool() ? in.PickValueInArray(kHandles) : in.ConsumeIntegral<ZEL_HANDLE>();
}

// One operation, judged by the reply it got when it sent a request.
void Step(FuzzedDataProvider &in) {
    const std::size_t before = g_answers.size();
    const ZEL_HANDLE h = AnyHandle(in);
    const ZEL_UINT32 n = in.ConsumeIntegral<ZEL_UINT32>();
    ZEL_UINT32 out0 = 0x5E5E5E5Eu;
    ZEL_UINT32 out1 = 0x5E5E5E5Eu;
    ZEL_UINT32 out2 = 0x5E5E5E5Eu;
    std::vector<std::uint8_t> buffer(in.ConsumeIntegralInRange<std::uint32_t>(0, 600));
    const auto cbBuffer = static_cast<ZEL_UINT32>(buffer.size());
    void *const pBuffer = buffer.empty() ? nullptr : buffer.data();
    ZelEventData records[4];
    const int op = in.ConsumeIntegralInRange(0, 37);
    ZEL_RESULT r = 0;
    switch (op) {
        case 0:
            r = ZelDrvEnumDeviceType(n, &(out1 = n), &out0);
            break;
        case 1:
            r = ZelDrvEnumDevice(n, n, &(out1 = n), &out0);
            break;
        case 2:
            r = ZelDrvEnable(h, n, n);
            break;
        case 3:
            r = ZelDrvDisable(h, n, n);
            break;
        case 4:
            r = ZelDrvReset(h);
            break;
        case 5: {
            // A size the buffer holds, or any size at all (refused unless it is 0 to 512).
            ZEL_INT32 cbMask =
                in.ConsumeBool() ? in.ConsumeIntegral<ZEL_INT32>() : in.ConsumeIntegralInRange<ZEL_INT32>(0, 600);
            if (cbMask > static_cast<ZEL_INT32>(cbBuffer) && cbMask <= ZEL_MAX_TIMESLOT_MASK_SIZE) {
                cbMask = static_cast<ZEL_INT32>(cbBuffer);
            }
            r = ZelDrvConnectPipe(h, n, AnyHandle(in), n, pBuffer, cbMask);
            break;
        }
        case 6:
            r = ZelDrvDisconnectPipe(h, n);
            break;
        case 7:
            r = ZelDrvClose(h);
            break;
        case 8:
            r = ZelDrvEventCode2String(h, n, cbBuffer, static_cast<char *>(pBuffer));
            break;
        case 9:
            r = ZelDrvConnectLogicalDevice(h, n, AnyHandle(in), n);
            break;
        case 10:
            r = ZelDrvDisconnectLogicalDevice(h, n, AnyHandle(in), n);
            break;
        case 11:
            r = ZelDrvGetState(h, &out0);
            break;
        case 12:
            r = ZelDrvGetAttributeType(h, n, &out0, &out1, &out2);
            break;
        case 13:
            r = ZelDrvGetAttributeValue(h, n, pBuffer, cbBuffer, &out0);
            break;
        case 14:
            r = ZelDrvSetAttributeValue(h, n, pBuffer, cbBuffer);
            break;
        case 15:
            r = ZelDrvDbgDump(h, n);
            break;
        case 16:
            r = ZelDrvResultCode2String(h, static_cast<ZEL_RESULT>(n), 0, nullptr);
            break;
        case 17:
            r = ZelDrvReadReg8(h, n, &out0);
            break;
        case 18:
            r = ZelDrvReadReg16(h, n, &out0);
            break;
        case 19:
            r = ZelDrvWriteReg8(h, n, n);
            break;
        case 20:
            r = ZelDrvWriteReg16(h, n, n);
            break;
        case 21:
            r = ZelDrvConnectBoard(h, AnyHandle(in));
            break;
        case 22:
            r = ZelDrvWriteReg32(h, n, n);
            break;
        case 23:
            r = ZelDrvReadReg32(h, n, &out0);
            break;
        case 24:
            r = ZelDrvGetDeviceHandle(n, n, n, (out2 = in.ConsumeBool()) != 0 ? &out0 : nullptr);
            break;
        case 25:
            r = ZelDrvOpenPhysicalDevice(n, n, n, n, n, &out0);
            break;
        case 26:
            r = ZelDrvCreateLogicalDevice(h, n, n, n, &out0);
            break;
        case 27:
            r = ZelDrvCreateEventQueue(n, nullptr, &out0);
            break;
        case 28:
            r = ZelDrvCreatePipe(n, &out0);
            break;
        case 29:
            r = ZelDrvPollEvents(h);
            break;
        case 30: {
            ZEL_UINT64 time = 0;
            r = ZelDrvGetCurrentTime(&time);
            break;
        }
        case 31:
            r = ZelDrvOpenPhysicalDeviceEx(n, n, n);
            break;
        case 32:
            r = ZelDrvSetEventData(h, n, n, n, n, n, n);
            break;
        case 33:
            r = ZelDrvGetEventData(h, records);
            break;
        case 34:
            r = ZelDrvGetEventDataEx(h, records, (out1 = n % 5), &out0);
            break;
        case 35:
            r = ZelDrvSetEventDataEx(h, n, n, n, n, n, n, n, n);
            break;
        case 36: {
            // A string attribute, terminated within the buffer.
            if (!buffer.empty()) buffer.back() = 0;
            r = ZelDrvSetAttributeValueSz(h, n, buffer.empty() ? "" : reinterpret_cast<const char *>(buffer.data()));
            break;
        }
        default:
            r = ZelDrvConnectLib();
            if (r == zel::kDrvAlreadyConnected) ZelDrvReleaseLib();
            break;
    }
    if (g_answers.size() == before) return;  // refused locally, or answered by the library itself
    Check(g_answers.size() == before + 1);
    const Answer &a = g_answers.back();
    Check(r == RuleResult(a));
    switch (op) {
        case 0:
            Check(out1 == Field(a, zel::devices::enum_device_type::nNextIterator, ZEL_INVALID_HANDLE_VALUE));
            Check(out0 == Field(a, zel::devices::enum_device_type::nDeviceType, 0));
            break;
        case 1:
            Check(out1 == Field(a, zel::devices::enum_device::nNextIterator, ZEL_INVALID_HANDLE_VALUE));
            Check(out0 == Field(a, zel::devices::enum_device::nDevice, 0));
            break;
        case 11:
            Check(out0 == Field(a, zel::devices::get_state::nState, 0));
            break;
        case 13:
            if (r >= 0) Check(out0 <= cbBuffer);
            break;
        case 24:
            if (out2 == 0) Check(out0 == 0x5E5E5E5Eu);
            if (out2 != 0) {
                const zel::Word &found = zel::devices::get_device_handle::hDevice;
                Check(out0 == (r < 0 ? ZEL_INVALID_HANDLE_VALUE : Field(a, found, ZEL_INVALID_HANDLE_VALUE)));
            }
            break;
        case 25:
            Check(out0 == (r < 0 ? ZEL_INVALID_HANDLE_VALUE : Field(a, zel::devices::open_physical::hDevice, 0)));
            break;
        case 26:
            Check(out0 == (r < 0 ? 0x5E5E5E5Eu : Field(a, zel::devices::create_logical::hLogicalDevice, 0)));
            break;
        case 34:
            Check(out0 == std::min(Field(a, zel::event_queues::get_event_data_ex::coEventsReturned, 0), out1));
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    const OsaDeviceProvider provider{nullptr, &Open, &IoControl, &Close};
    if (!OsaDeviceRegisterProvider("ZELDRV", &provider)) std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    g_input = &in;
    g_answers.clear();
    // The connect's version request is judged by the same rule.
    const ZEL_RESULT connected = ZelDrvConnectLib();
    Check(g_answers.size() == 1 && connected == RuleResult(g_answers.back()));
    for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) Step(in);
    ZelDrvReleaseLib();
    g_input = nullptr;
    return 0;
}
