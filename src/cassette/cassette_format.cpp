// Writing a cassette's lines: the header and one record per line, input words
// by the names the request descriptions give them.
#include <array>
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "cassette.h"
#include "descriptions.h"
#include "json_text.h"
#include "request_fields.h"

namespace zel::cassette {
namespace {

template <class... R>
std::array<Description, sizeof...(R)> BuildDescriptions(RequestList<R...>) {
    return {Description{R::kLayout, std::span<const Word>(R::kWords), nullptr}...};
}

const std::array<Description, req::kAll.size()> &Descriptions() {
    static const auto table = [] {
        auto built = BuildDescriptions(AllRequests{});
        for (Description &description : built) {
            const RequestFields *fields = FindRequestFields(description.layout.function);
            description.operation = fields != nullptr ? fields->operation : "";
        }
        return built;
    }();
    return table;
}

const char *KindName(RecordKind kind) {
    switch (kind) {
        case RecordKind::kOpen:
            return "open";
        case RecordKind::kClose:
            return "close";
        case RecordKind::kExchange:
            return "request";
        case RecordKind::kSignal:
            return "signal";
        case RecordKind::kWaitEnd:
            return "wait-end";
    }
    return "request";
}

const char *ReplyName(Reply reply) {
    switch (reply) {
        case Reply::kResult:
            return "result";
        case Reply::kEmpty:
            return "empty";
        case Reply::kCallFailed:
            return "failed";
    }
    return "empty";
}

void EncodeInput(const Record &record, std::uint32_t wordSize, std::string &line) {
    const auto cbIn = static_cast<std::uint32_t>(record.in.size());
    const std::span<const std::uint8_t> in(record.in);
    std::vector<bool> named(cbIn, false);
    const Description *description = FindDescription(record.Function());
    line += ",\"in\":{";
    bool first = true;
    auto key = [&](const std::string &name) {
        if (!first) line += ',';
        first = false;
        json::AppendString(line, name);
        line += ':';
    };
    if (description != nullptr) {
        for (const Word &word : description->words) {
            if (word.direction != Direction::kIn) continue;
            const Extent extent = WordExtent(word, cbIn);
            if (extent.length == 0) continue;
            key(word.name);
            if (word.role == FieldRole::kBytes) {
                json::AppendHexBytes(line, in.subspan(extent.offset, extent.length));
            } else {
                json::AppendWord(line, protocol::GetWord(in, extent.offset), word.role == FieldRole::kNumber);
            }
            for (std::uint32_t i = 0; i < extent.length; ++i) named[extent.offset + i] = true;
        }
        const RequestLayout &layout = description->layout;
        if (wordSize > 4 && layout.addressOffset != 0 && cbIn >= layout.cbIn + 4) {
            key(std::string(HighWordName(*description)));
            json::AppendWord(line, protocol::GetWord(in, layout.cbIn), false);
            for (std::uint32_t i = 0; i < 4; ++i) named[layout.cbIn + i] = true;
        }
    }
    line += '}';
    // Bytes no word names (the request header, a trailing byte), as runs of
    // those that are not zero.
    std::string runs;
    for (std::uint32_t i = 0; i < cbIn;) {
        if (named[i] || record.in[i] == 0) {
            ++i;
            continue;
        }
        std::uint32_t end = i;
        while (end < cbIn && !named[end] && record.in[end] != 0) ++end;
        runs += runs.empty() ? "[" : ",";
        runs += '[' + std::to_string(i) + ',';
        json::AppendHexBytes(runs, in.subspan(i, end - i));
        runs += ']';
        i = end;
    }
    if (!runs.empty()) line += ",\"other\":" + runs + ']';
}

}  // namespace

const Description *FindDescription(std::uint32_t function) {
    for (const Description &description : Descriptions()) {
        if (description.layout.function == function) return &description;
    }
    return nullptr;
}

std::string HighWordName(const Description &description) {
    for (const Word &word : description.words) {
        if (word.role == FieldRole::kAddress) return std::string(word.name) + ".high";
    }
    return "high";
}

Extent WordExtent(const Word &word, std::uint32_t size) {
    std::uint64_t end = word.width != 0 ? std::uint64_t{word.offset} + word.width : std::uint64_t{size} - 1;
    if (size == 0 || word.offset >= end || end > size) return {word.offset, 0};
    return {word.offset, static_cast<std::uint32_t>(end - word.offset)};
}

std::uint32_t DocumentedInputSize(const Description *description, std::uint32_t cbIn, std::uint32_t wordSize) {
    if (description == nullptr || wordSize <= 4 || description->layout.addressOffset == 0) return cbIn;
    return cbIn >= description->layout.cbIn + 4 ? cbIn - 4 : cbIn;
}

std::uint32_t Record::Function() const { return FunctionNumber(controlCode); }

Header ThisBuild() {
    Header header;
    header.library = std::to_string(ZEL_VERSION_MAJOR) + '.' + std::to_string(ZEL_VERSION_MINOR) + '.' +
                     std::to_string(ZEL_VERSION_BUILD) + '.' + std::to_string(ZEL_VERSION_REVISION);
#if defined(_WIN32)
    header.platform = "windows";
#elif defined(__linux__)
    header.platform = "linux";
#elif defined(__APPLE__)
    header.platform = "macos";
#else
    header.platform = "posix";
#endif
#if defined(__x86_64__) || defined(_M_X64)
    header.platform += "-x86_64";
#elif defined(__i386__) || defined(_M_IX86)
    header.platform += "-x86";
#elif defined(__aarch64__)
    header.platform += "-arm64";
#else
    header.platform += "-other";
#endif
    header.wordSize = sizeof(void *);
    return header;
}

std::string EncodeHeader(const Header &header) {
    std::string line = "{\"cassette\":" + std::to_string(header.formatVersion) + ",\"library\":";
    json::AppendString(line, header.library);
    line += ",\"platform\":";
    json::AppendString(line, header.platform);
    line += ",\"wordSize\":" + std::to_string(header.wordSize) + ",\"framing\":";
    json::AppendString(line, header.framing);
    line += '}';
    return line;
}

std::string EncodeRecord(const Record &record, std::uint32_t wordSize) {
    std::string line = "{\"seq\":" + std::to_string(record.seq) + ",\"t\":" + std::to_string(record.timeNs) +
                       ",\"thread\":" + std::to_string(record.thread) + ",\"kind\":";
    json::AppendString(line, KindName(record.kind));
    switch (record.kind) {
        case RecordKind::kOpen:
        case RecordKind::kClose:
            line += ",\"device\":";
            json::AppendString(line, record.device);
            if (record.kind == RecordKind::kOpen) line += record.succeeded ? ",\"ok\":true" : ",\"ok\":false";
            break;
        case RecordKind::kSignal:
        case RecordKind::kWaitEnd:
            line += ",\"event\":";
            json::AppendWord(line, record.event, false);
            break;
        case RecordKind::kExchange: {
            line += ",\"device\":";
            json::AppendString(line, record.device);
            line += ",\"function\":";
            json::AppendWord(line, record.Function(), false);
            const Description *description = FindDescription(record.Function());
            if (description != nullptr) {
                line += ",\"op\":";
                json::AppendString(line, description->operation);
            } else {
                line += ",\"code\":";
                json::AppendWord(line, record.controlCode, false);
            }
            line += ",\"cbIn\":" + std::to_string(record.in.size()) + ",\"cbOut\":" + std::to_string(record.cbOut);
            EncodeInput(record, wordSize, line);
            line += record.succeeded ? ",\"ok\":true" : ",\"ok\":false";
            line += ",\"cbReturned\":" + std::to_string(record.cbReturned) + ",\"out\":";
            json::AppendHexBytes(line, record.out);
            if (!record.written.empty()) {
                line += ",\"written\":";
                json::AppendHexBytes(line, record.written);
            }
            line += ",\"reply\":";
            json::AppendString(line, ReplyName(record.reply));
            if (record.reply == Reply::kResult) {
                line += ",\"result\":";
                json::AppendWord(line, record.result, false);
            }
            break;
        }
    }
    line += '}';
    return line;
}

}  // namespace zel::cassette
