#include "request_text.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cstdio>
#include <string_view>

#include "board_names.h"
#include "event_codes.h"
#include "request_fields.h"
#include "words.h"

namespace zel::decode {
namespace {

std::string Hex8(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
    return text;
}

// What a number or code word means beyond its value.
enum class Meaning : std::uint8_t { kAttributeId, kDeviceType, kLogicalType, kEventCode };

struct WordMeaning {
    Word word;
    Meaning meaning;
};

constexpr bool SameWord(const Word &a, const Word &b) {
    return a.function == b.function && a.offset == b.offset && a.direction == b.direction;
}

namespace at = attributes;
namespace dv = devices;
constexpr std::array kMeanings = {
    WordMeaning{at::get_type::nAttribId, Meaning::kAttributeId},
    WordMeaning{at::get_value::nAttribId, Meaning::kAttributeId},
    WordMeaning{at::set_value::nAttribId, Meaning::kAttributeId},
    WordMeaning{dv::enum_device_type::nDeviceType, Meaning::kDeviceType},
    WordMeaning{dv::enum_device::nParam2, Meaning::kDeviceType},
    WordMeaning{dv::open_physical::nParam2, Meaning::kDeviceType},
    WordMeaning{dv::open_physical_ex::nParam2, Meaning::kDeviceType},
    WordMeaning{dv::get_device_handle::nParam2, Meaning::kDeviceType},
    WordMeaning{dv::create_logical::nParam2, Meaning::kLogicalType},
    WordMeaning{event_queues::event_code_text::nEventCode, Meaning::kEventCode},
};

std::string MeaningOf(const Word &word, std::uint32_t value) {
    for (const WordMeaning &entry : kMeanings) {
        if (!SameWord(entry.word, word)) continue;
        switch (entry.meaning) {
            case Meaning::kAttributeId: {
                const sim::AttributeName *name = sim::FindAttributeName(value);
                return name != nullptr ? std::string(name->name) : std::string();
            }
            case Meaning::kDeviceType:
                return std::string(sim::DeviceTypeName(value));
            case Meaning::kLogicalType:
                return std::string(sim::LogicalTypeName(value));
            case Meaning::kEventCode:
                return std::string(sim::EventCodeText(value));
        }
    }
    return {};
}

bool IsHandle(FieldRole role) {
    return role == FieldRole::kHandle || role == FieldRole::kNewHandle || role == FieldRole::kFoundHandle;
}

// A block of bytes a request carries, sized by a word of the request.
enum class Render : std::uint8_t { kAttributeValue, kHex, kText };
struct Block {
    Word block;
    Word size;  // the word that says how many bytes count; the block's width when it is the block itself
    Render render;
};

constexpr std::array kBlocks = {
    Block{at::set_value::pAttribValue, at::set_value::cbAttribValue, Render::kAttributeValue},
    Block{pipes::connect_pipe::pTimeSlotMask, pipes::connect_pipe::coMaskSize, Render::kHex},
    Block{at::get_value::pAttribValue, at::get_value::cbAttribValueReturned, Render::kAttributeValue},
    Block{event_queues::event_code_text::pszStringBuf, event_queues::event_code_text::pszStringBuf, Render::kText},
};

// The bytes from offset on, as many as count says, within what is known.
std::span<const std::uint8_t> Within(std::span<const std::uint8_t> bytes, std::uint32_t offset, std::uint32_t count) {
    if (offset >= bytes.size()) return {};
    return bytes.subspan(offset, std::min<std::size_t>(count, bytes.size() - offset));
}

bool Holds(std::span<const std::uint8_t> bytes, const Word &word) {
    return bytes.size() >= 4u && word.offset <= bytes.size() - 4u;
}

// " name=value" for the request's blocks on one side.
void AppendBlocks(std::string &line, std::uint32_t function, Direction direction, std::span<const std::uint8_t> in,
                  std::span<const std::uint8_t> side) {
    for (const Block &entry : kBlocks) {
        if (entry.block.function != function || entry.block.direction != direction) continue;
        std::uint32_t count = entry.block.width;
        if (!SameWord(entry.size, entry.block)) {
            const auto sizeBytes = entry.size.direction == Direction::kIn ? in : side;
            if (!Holds(sizeBytes, entry.size)) continue;
            count = protocol::GetWord(sizeBytes, entry.size.offset);
        }
        if (entry.block.offset > side.size()) continue;
        const auto bytes = Within(side, entry.block.offset, count);
        line += ' ';
        line += entry.block.name;
        line += '=';
        switch (entry.render) {
            case Render::kAttributeValue: {
                // Each attribute request names its id at the same place.
                const std::uint32_t id = protocol::GetWordOr0(in, at::get_value::nAttribId.offset);
                line += AttributeValueText(id, bytes);
                break;
            }
            case Render::kHex:
                line += HexText(bytes);
                break;
            case Render::kText:
                line += QuotedText(bytes);
                break;
        }
        if (bytes.size() < count && entry.render != Render::kText) line += " (cut short)";
    }
}
static_assert(at::get_value::nAttribId.offset == at::set_value::nAttribId.offset);

// Appends " name=value" for every word that lies within the bytes.
void AppendWords(std::string &line, std::span<const Word> words, std::span<const std::uint8_t> bytes,
                 const HandleNamer &namer) {
    for (const Word &word : words) {
        if (!Holds(bytes, word)) continue;
        line += ' ';
        line += word.name;
        line += '=';
        line += WordText(word, protocol::GetWord(bytes, word.offset), namer);
    }
}

ZelEventData RecordAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::array<std::uint32_t, 8> words{};
    for (std::size_t i = 0; i < words.size(); ++i) words[i] = protocol::GetWord(bytes, offset + 4 * i);
    return {words[0], words[1], words[2], words[3], words[4], words[5], words[6], words[7]};
}

constexpr std::size_t kRecordBytes = sizeof(ZelEventData);
static_assert(kRecordBytes == 32);

// The output words after a success: records decoded, blocks shown.
void AppendOutputs(std::string &line, const RequestFields &fields, const ServedRequest &request,
                   const HandleNamer &namer) {
    const std::uint32_t function = fields.layout.function;
    if (function == req::kGetEventData.function) {
        const std::size_t offset = event_queues::get_event_data::nExData0.offset;
        if (request.out.size() >= offset + kRecordBytes) {
            line += " record=" + RecordText(RecordAt(request.out, offset), namer);
        }
        return;
    }
    AppendWords(line, std::span(fields.out).first(fields.outCount), request.out, namer);
    AppendBlocks(line, function, Direction::kOut, request.in, request.out);
    if (request.buffer.empty()) return;
    if (function == req::kGetEventDataEx.function) {
        using R = event_queues::get_event_data_ex;
        const std::size_t held = request.buffer.size() / kRecordBytes;
        const std::size_t count =
            std::min<std::size_t>(held, protocol::GetWordOr0(request.out, R::coEventsReturned.offset));
        for (std::size_t i = 0; i < count && i < kMaxShownRecords; ++i) {
            line += " record=" + RecordText(RecordAt(request.buffer, i * kRecordBytes), namer);
        }
        if (count > kMaxShownRecords) line += " (" + std::to_string(count - kMaxShownRecords) + " more records)";
    } else if (function == req::kResultCode2String.function) {
        line += " text=" + QuotedText(request.buffer);
    }
}

void AppendResult(std::string &line, const ServedRequest &request, const RequestFields *fields, std::uint32_t offset,
                  const HandleNamer &namer) {
    if (!request.outKnown) {
        line += "result=" + Hex8(request.resultWord);
        return;
    }
    if (request.out.size() < offset + 4u) {
        line += request.outCut ? "result=" + Hex8(request.resultWord) : std::string("empty reply");
        return;
    }
    const std::uint32_t result = protocol::GetWord(request.out, offset);
    line += "result=" + Hex8(result);
    if (fields != nullptr && result == 0) AppendOutputs(line, *fields, request, namer);
}

char HexDigit(unsigned value) { return "0123456789abcdef"[value & 0xFu]; }

}  // namespace

std::string BoardTimeText(std::uint64_t nMicros) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIu64 ".%06u", nMicros / 1000000u, static_cast<unsigned>(nMicros % 1000000u));
    return text;
}

std::string WordText(const Word &word, std::uint32_t value, const HandleNamer &namer) {
    std::string text = word.role == FieldRole::kNumber ? std::to_string(value) : Hex8(value);
    std::string name;
    if (IsHandle(word.role)) {
        if (namer && value != 0) name = namer(value);
    } else {
        name = MeaningOf(word, value);
    }
    if (!name.empty()) text += " (" + name + ")";
    return text;
}

std::string HexText(std::span<const std::uint8_t> bytes) {
    std::string text = "hex:";
    for (std::size_t i = 0; i < bytes.size() && i < kMaxShownBytes; ++i) {
        text += HexDigit(bytes[i] >> 4u);
        text += HexDigit(bytes[i]);
    }
    if (bytes.size() > kMaxShownBytes) text += "...";
    return text;
}

std::string QuotedText(std::span<const std::uint8_t> bytes) {
    std::string text = "\"";
    std::size_t shown = 0;
    std::size_t i = 0;
    for (; i < bytes.size() && bytes[i] != 0 && shown < kMaxShownChars; ++i, ++shown) {
        const std::uint8_t c = bytes[i];
        if (c == '"' || c == '\\') {
            text += '\\';
            text += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            text += "\\x";
            text += HexDigit(c >> 4u);
            text += HexDigit(c);
        } else {
            text += static_cast<char>(c);
        }
    }
    text += '"';
    if (i < bytes.size() && bytes[i] != 0) text += "...";
    return text;
}

std::string AttributeValueText(std::uint32_t nAttribId, std::span<const std::uint8_t> value) {
    const sim::AttributeName *entry = sim::FindAttributeName(nAttribId);
    const std::uint32_t type = entry != nullptr ? entry->type : ZELSIM_ATTR_TYPE_STRUCT;
    if (type == ZELSIM_ATTR_TYPE_SZ) return QuotedText(value);
    if (type == ZELSIM_ATTR_TYPE_STRUCT || value.size() != 4) return HexText(value);
    const std::uint32_t word = protocol::GetWord(value, 0);
    if (type == ZELSIM_ATTR_TYPE_BOOL && word <= 1) return word != 0 ? "true" : "false";
    return std::to_string(word);
}

std::string RecordText(const ZelEventData &record, const HandleNamer &namer) {
    std::string object = namer && record.nExData0 != 0 ? namer(record.nExData0) : std::string();
    const bool deviceEvent = (record.nData0 >> 8u) == (ZELSIM_EVENT_DEVICE_ENABLED >> 8u);
    if (object.empty() && !deviceEvent) {
        const std::string_view type = sim::DeviceTypeName(record.nData4 >> 8u);
        if (!type.empty()) object = std::string(type) + " " + std::to_string(record.nData4 & 0xFFu);
    }
    if (object.empty()) object = Hex8(record.nExData0);
    char code[16];
    std::snprintf(code, sizeof code, record.nData0 <= 0xFFFFu ? "0x%04" PRIX32 : "0x%08" PRIX32, record.nData0);
    const std::string_view text = sim::EventCodeText(record.nData0);
    const std::uint64_t micros = (std::uint64_t{record.nData3} << 32u) | record.nData2;
    std::string line = "{#" + std::to_string(record.nExData1) + " at " + BoardTimeText(micros) + ": " + object + ": ";
    line += text.empty() ? "event " + std::string(code) : std::string(text) + " (" + code + ")";
    if (deviceEvent) {
        line += ", state " + Hex8(record.nData1);
    } else {
        line += ", value " + std::to_string(record.nData1);
        const bool digit = record.nData0 == ZELSIM_EVENT_DTMF_DIGIT || record.nData0 == ZELSIM_EVENT_PULSE_DIGIT;
        if (digit && record.nData1 >= 0x20 && record.nData1 < 0x7F) {
            line += " '";
            line += static_cast<char>(record.nData1);
            line += '\'';
        }
    }
    if (record.nData5 != 0) line += ", extra " + std::to_string(record.nData5);
    return line + "}";
}

std::string DescribeRequest(const ServedRequest &request, const HandleNamer &namer) {
    const std::uint32_t function = FunctionNumber(request.controlCode);
    const RequestFields *fields = function == kNoFunction ? nullptr : FindRequestFields(function);
    std::string line;
    if (request.boardMicros) line = BoardTimeText(*request.boardMicros) + " ";
    if (fields != nullptr) {
        line += fields->operation;
        AppendWords(line, std::span(fields->in).first(fields->inCount), request.in, namer);
        AppendBlocks(line, function, Direction::kIn, request.in, request.in);
    } else {
        line += "control code " + Hex8(request.controlCode) + " (" + std::to_string(request.cbIn) + " bytes in)";
    }
    line += " -> ";
    const Framing framing = fields != nullptr ? fields->layout.framing : Framing::Standard;
    const std::uint32_t offset = ReplyResultOffset(function, request.cbOut, framing);
    switch (ReadReply(request.succeeded, request.cbReturned, request.cbOut, offset)) {
        case ReplyReading::kCallFailed:
            line += "call failed";
            break;
        case ReplyReading::kEmpty:
            line += "empty reply";
            break;
        case ReplyReading::kResultWord:
            AppendResult(line, request, fields, offset, namer);
            break;
    }
    return line;
}

}  // namespace zel::decode
