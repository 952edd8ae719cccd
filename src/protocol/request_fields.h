// How each request is shown and served on another's behalf: the operation
// that sends it, the words a request tracer prints (by the names the
// request's description gives them) and the rule for a caller's buffer. A
// service that shares one board between processes finds by the words' roles
// which name objects, which make them and which carry a caller's event or
// buffer address. Offsets and sizes come from the request descriptions;
// this table only picks the words.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>

#include <zel/zel.h>
#include "requests.h"

namespace zel {

// The buffer that an address word names: its size is the word at
// sizeOffset times unit bytes. What the driver wrote into it: as many units
// as the output word at writtenOffset says, or, when writtenOffset is 0, a
// text up to and with its NUL.
struct CallerBufferRule {
    std::uint16_t sizeOffset = 0;
    std::uint16_t unit = 0;
    std::uint16_t writtenOffset = 0;

    constexpr CallerBufferRule() = default;
    // A text: the driver writes up to its NUL.
    constexpr CallerBufferRule(const Word &size, std::uint16_t bytesPerUnit)
        : sizeOffset(static_cast<std::uint16_t>(size.offset)), unit(bytesPerUnit) {}
    // Units, as many as the output word written says. (A reference, not a
    // pointer: gcc's sanitizer builds do not fold a static's address
    // compared with null.)
    constexpr CallerBufferRule(const Word &size, std::uint16_t bytesPerUnit, const Word &written)
        : sizeOffset(static_cast<std::uint16_t>(size.offset)),
          unit(bytesPerUnit),
          writtenOffset(static_cast<std::uint16_t>(written.offset)) {}
};

inline constexpr std::size_t kMaxInputFields = 9;
inline constexpr std::size_t kMaxOutputFields = 3;

struct RequestFields {
    RequestLayout layout;
    const char *operation = nullptr;
    std::array<Word, kMaxInputFields> in{};
    std::uint8_t inCount = 0;
    std::array<Word, kMaxOutputFields> out{};
    std::uint8_t outCount = 0;
    CallerBufferRule buffer{};  // unit 0: the request carries no address

    constexpr RequestFields(const RequestLayout &l, const char *op, CallerBufferRule rule)
        : layout(l), operation(op), buffer(rule) {}

    constexpr void Show(const Word &word) {
        if (word.direction == Direction::kIn) {
            in[inCount++] = word;
        } else {
            out[outCount++] = word;
        }
    }
};

namespace fields {

// A request shown with all its words but its byte blocks.
template <class R>
constexpr RequestFields Showing(const char *operation, CallerBufferRule rule = {}) {
    RequestFields entry(R::kLayout, operation, rule);
    for (const Word &word : R::kWords) {
        if (word.role != FieldRole::kBytes) entry.Show(word);
    }
    return entry;
}

// A request shown with the words listed only.
template <class R>
constexpr RequestFields ShowingOnly(const char *operation, std::initializer_list<Word> shown) {
    RequestFields entry(R::kLayout, operation, {});
    for (const Word &word : shown) entry.Show(word);
    return entry;
}

namespace eq = event_queues;
constexpr std::uint32_t kEventRecordBytes = sizeof(ZelEventData);

inline constexpr std::array kAll = {
    Showing<devices::enum_device_type>("ZelDrvEnumDeviceType"),
    Showing<devices::enum_device>("ZelDrvEnumDevice"),
    Showing<devices::enable>("ZelDrvEnable"),
    Showing<devices::disable>("ZelDrvDisable"),
    Showing<devices::reset>("ZelDrvReset"),
    Showing<pipes::connect_pipe>("ZelDrvConnectPipe"),
    Showing<pipes::disconnect_pipe>("ZelDrvDisconnectPipe"),
    Showing<devices::close>("ZelDrvClose"),
    Showing<eq::event_code_text>("ZelDrvEventCode2String"),
    Showing<pipes::connect_logical>("ZelDrvConnectLogicalDevice"),
    Showing<pipes::disconnect_logical>("ZelDrvDisconnectLogicalDevice"),
    Showing<devices::get_state>("ZelDrvGetState"),
    Showing<attributes::get_type>("ZelDrvGetAttributeType"),
    Showing<attributes::get_value>("ZelDrvGetAttributeValue"),
    Showing<attributes::set_value>("ZelDrvSetAttributeValue"),
    Showing<registers::dbg_dump>("ZelDrvDbgDump"),
    Showing<core::result_code_text>("ZelDrvResultCode2String", {core::result_code_text::cbStringBuf, 1}),
    Showing<registers::read8>("ZelDrvReadReg8"),
    Showing<registers::read16>("ZelDrvReadReg16"),
    Showing<registers::write8>("ZelDrvWriteReg8"),
    Showing<registers::write16>("ZelDrvWriteReg16"),
    Showing<devices::connect_board>("ZelDrvConnectBoard"),
    Showing<registers::write32>("ZelDrvWriteReg32"),
    Showing<registers::read32>("ZelDrvReadReg32"),
    Showing<core::connect_lib>("ZelDrvConnectLib"),
    Showing<devices::get_device_handle>("ZelDrvGetDeviceHandle"),
    Showing<devices::open_physical>("ZelDrvOpenPhysicalDevice"),
    Showing<devices::create_logical>("ZelDrvCreateLogicalDevice"),
    Showing<eq::create_queue>("ZelDrvCreateEventQueue"),
    Showing<pipes::create_pipe>("ZelDrvCreatePipe"),
    Showing<devices::poll_events>("ZelDrvPollEvents"),
    Showing<registers::get_current_time>("ZelDrvGetCurrentTime"),
    Showing<devices::open_physical_ex>("ZelDrvOpenPhysicalDeviceEx"),
    // The plain set's extension words are always 0 from the library.
    ShowingOnly<eq::set_event_data>(
        "ZelDrvSetEventData", {eq::set_event_data::hEventQueue, eq::set_event_data::nData0, eq::set_event_data::nData1,
                               eq::set_event_data::nData2, eq::set_event_data::nData3, eq::set_event_data::nData4,
                               eq::set_event_data::nData5}),
    // A record's first three words.
    ShowingOnly<eq::get_event_data>("ZelDrvGetEventData",
                                    {eq::get_event_data::hEventQueue, eq::get_event_data::nExData0,
                                     eq::get_event_data::nExData1, eq::get_event_data::nData0}),
    Showing<eq::get_event_data_ex>("ZelDrvGetEventDataEx", {eq::get_event_data_ex::coEventData, kEventRecordBytes,
                                                            eq::get_event_data_ex::coEventsReturned}),
    Showing<eq::set_event_data_ex>("ZelDrvSetEventDataEx"),
};

}  // namespace fields

namespace detail {
// Every request is named once, in the request table's order; every word
// shown is a word of its request, and an address word comes with a size
// rule.
constexpr bool FieldTableIsSound() {
    if (fields::kAll.size() != req::kAll.size()) return false;
    for (std::size_t i = 0; i < fields::kAll.size(); ++i) {
        const RequestFields &entry = fields::kAll[i];
        if (entry.layout.function != req::kAll[i].function) return false;
        bool hasAddress = false;
        for (std::size_t k = 0; k < entry.inCount; ++k) {
            const Word &field = entry.in[k];
            if (field.function != entry.layout.function || field.width != 4) return false;
            if (k > 0 && entry.in[k - 1].offset >= field.offset) return false;
            if (field.role == FieldRole::kAddress) {
                if (entry.buffer.unit == 0) return false;
                hasAddress = true;
            }
        }
        if (hasAddress != (entry.layout.addressOffset != 0)) return false;
        for (std::size_t k = 0; k < entry.outCount; ++k) {
            const Word &field = entry.out[k];
            if (field.function != entry.layout.function || field.width != 4) return false;
        }
    }
    return true;
}
}  // namespace detail

static_assert(detail::FieldTableIsSound());

// The names of a request, or nullptr for a function the library never sends.
constexpr const RequestFields *FindRequestFields(std::uint32_t nFunction) {
    for (const RequestFields &entry : fields::kAll) {
        if (entry.layout.function == nFunction) return &entry;
    }
    return nullptr;
}

static_assert(FindRequestFields(req::kGetEventDataEx.function)->buffer.unit == 32);

}  // namespace zel
