// Reading a cassette: every line checked against the request descriptions,
// every size bounded, so that no text, however made, crashes the reader or
// makes it allocate without bound. A bad line gives "NAME:LINE: message".
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cassette.h"
#include "descriptions.h"
#include "json_text.h"

namespace zel::cassette {
namespace {

// A request or a response is at most this large, and a cassette's requests
// add up to at most kMaxInputBytes: a hostile line names any size in a few
// characters, since bytes that are zero are not written out.
constexpr std::uint64_t kMaxBlockBytes = 16u << 20;
constexpr std::uint64_t kMaxInputBytes = 256u << 20;
// Files larger than this are not cassettes a program could have made in a
// session worth replaying; refusing them keeps Load bounded too.
constexpr long kMaxFileBytes = 1L << 30;

using json::Value;

class LineReader {
public:
    LineReader(const Value &object, std::string *pError) : object_(object), error_(*pError) {}

    bool Fail(const std::string &message) {
        if (error_.empty()) error_ = message;
        return false;
    }

    const Value *Need(const char *name, Value::Type type) {
        const Value *value = object_.Find(name);
        if (value == nullptr) {
            Fail(std::string("\"") + name + "\" is missing");
            return nullptr;
        }
        if (value->type != type) {
            Fail(std::string("\"") + name + "\" has the wrong type");
            return nullptr;
        }
        return value;
    }

    bool Number(const char *name, std::uint64_t max, std::uint64_t *pNumber) {
        const Value *value = Need(name, Value::Type::kNumber);
        if (value == nullptr) return false;
        if (value->number > max) return Fail(std::string("\"") + name + "\" is too large");
        *pNumber = value->number;
        return true;
    }

    bool Word(const char *name, std::uint32_t *pWord) {
        const Value *value = object_.Find(name);
        if (value == nullptr) return Fail(std::string("\"") + name + "\" is missing");
        return WordValue(*value, name, pWord);
    }

    bool WordValue(const Value &value, const std::string &name, std::uint32_t *pWord) {
        if (value.type == Value::Type::kNumber) {
            if (value.number > 0xFFFFFFFFu) return Fail("\"" + name + "\" does not fit 32 bits");
            *pWord = static_cast<std::uint32_t>(value.number);
            return true;
        }
        std::vector<std::uint8_t> bytes;
        const std::string &text = value.text;
        if (value.type != Value::Type::kString || text.size() != 10 || text.compare(0, 2, "0x") != 0 ||
            !json::DecodeHex(text.substr(2), &bytes))
            return Fail("\"" + name + "\" is not a word (a number or \"0x\" and 8 hex digits)");
        *pWord = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
                 bytes[3];
        return true;
    }

    bool Hex(const Value &value, const std::string &name, std::vector<std::uint8_t> *pBytes) {
        if (value.type != Value::Type::kString || !json::DecodeHex(value.text, pBytes))
            return Fail("\"" + name + "\" is not hex bytes");
        return true;
    }

    const Value &object_;
    std::string &error_;
};

bool ReadHeader(const Value &object, Header *pHeader, std::string *pError) {
    LineReader reader(object, pError);
    std::uint64_t version = 0;
    std::uint64_t wordSize = 0;
    if (object.Find("cassette") == nullptr) return reader.Fail("not a cassette: the first line has no \"cassette\"");
    if (!reader.Number("cassette", 0xFFFFFFFFu, &version)) return false;
    if (version != kFormatVersion)
        return reader.Fail("format version " + std::to_string(version) + " is not one this reader knows (" +
                           std::to_string(kFormatVersion) + ")");
    const Value *library = reader.Need("library", Value::Type::kString);
    const Value *platform = reader.Need("platform", Value::Type::kString);
    const Value *framing = reader.Need("framing", Value::Type::kString);
    if (library == nullptr || platform == nullptr || framing == nullptr) return false;
    if (!reader.Number("wordSize", 8, &wordSize)) return false;
    if (wordSize != 4 && wordSize != 8) return reader.Fail("\"wordSize\" must be 4 or 8");
    if (framing->text != kFramingDeviceControl) return reader.Fail("framing \"" + framing->text + "\" is unknown");
    pHeader->formatVersion = static_cast<std::uint32_t>(version);
    pHeader->library = library->text;
    pHeader->platform = platform->text;
    pHeader->wordSize = static_cast<std::uint32_t>(wordSize);
    pHeader->framing = framing->text;
    return true;
}

bool ReadInput(LineReader &reader, const Value &in, const Value *other, std::uint32_t wordSize, Record &record) {
    const auto cbIn = static_cast<std::uint32_t>(record.in.size());
    const Description *description = FindDescription(record.Function());
    for (const auto &[name, value] : in.members) {
        const Word *found = nullptr;
        if (description != nullptr) {
            for (const Word &word : description->words) {
                if (word.direction == Direction::kIn && name == word.name) found = &word;
            }
        }
        if (found == nullptr) {
            const bool high =
                description != nullptr && description->layout.addressOffset != 0 && name == HighWordName(*description);
            if (!high) return reader.Fail("\"" + name + "\" is no input word of this request");
            if (wordSize <= 4 || cbIn < description->layout.cbIn + 4)
                return reader.Fail("\"" + name + "\" lies outside cbIn");
            std::uint32_t word = 0;
            if (!reader.WordValue(value, name, &word)) return false;
            protocol::PutWord(std::span<std::uint8_t>(record.in), description->layout.cbIn, word);
            continue;
        }
        const Extent extent = WordExtent(*found, cbIn);
        if (extent.length == 0) return reader.Fail("\"" + name + "\" lies outside cbIn");
        if (found->role == FieldRole::kBytes) {
            std::vector<std::uint8_t> bytes;
            if (!reader.Hex(value, name, &bytes)) return false;
            if (bytes.size() != extent.length)
                return reader.Fail("\"" + name + "\" holds " + std::to_string(bytes.size()) + " bytes, not " +
                                   std::to_string(extent.length));
            std::memcpy(record.in.data() + extent.offset, bytes.data(), bytes.size());
        } else {
            std::uint32_t word = 0;
            if (!reader.WordValue(value, name, &word)) return false;
            protocol::PutWord(std::span<std::uint8_t>(record.in), extent.offset, word);
        }
    }
    if (other == nullptr) return true;
    if (other->type != Value::Type::kArray) return reader.Fail("\"other\" must be an array");
    for (const Value &run : other->items) {
        std::vector<std::uint8_t> bytes;
        if (run.type != Value::Type::kArray || run.items.size() != 2 || run.items[0].type != Value::Type::kNumber ||
            !reader.Hex(run.items[1], "other", &bytes))
            return reader.Fail("\"other\" holds [offset, \"hex\"] pairs");
        const std::uint64_t offset = run.items[0].number;
        if (offset > cbIn || bytes.size() > cbIn - offset) return reader.Fail("\"other\" lies outside cbIn");
        if (!bytes.empty()) std::memcpy(record.in.data() + offset, bytes.data(), bytes.size());
    }
    return true;
}

bool ReadExchange(LineReader &reader, const Value &object, std::uint32_t wordSize, std::uint64_t &inputBudget,
                  Record &record) {
    std::uint32_t function = 0;
    std::uint64_t cbIn = 0;
    std::uint64_t cbOut = 0;
    std::uint64_t cbReturned = 0;
    const Value *device = reader.Need("device", Value::Type::kString);
    if (device == nullptr || !reader.Word("function", &function)) return false;
    record.device = device->text;
    if (object.Find("code") != nullptr) {
        if (!reader.Word("code", &record.controlCode)) return false;
        if (FunctionNumber(record.controlCode) != function) return reader.Fail("\"code\" is not the function's");
    } else {
        if (function > 0xFFF) return reader.Fail("\"function\" is out of range");
        record.controlCode = ControlCode(function);
    }
    if (!reader.Number("cbIn", kMaxBlockBytes, &cbIn) || !reader.Number("cbOut", 0xFFFFFFFFu, &cbOut) ||
        !reader.Number("cbReturned", 0xFFFFFFFFu, &cbReturned))
        return false;
    if (cbIn > inputBudget) return reader.Fail("the cassette's requests are too large in all");
    inputBudget -= cbIn;
    record.in.assign(cbIn, 0);
    record.cbOut = static_cast<std::uint32_t>(cbOut);
    record.cbReturned = static_cast<std::uint32_t>(cbReturned);
    const Value *in = reader.Need("in", Value::Type::kObject);
    if (in == nullptr || !ReadInput(reader, *in, object.Find("other"), wordSize, record)) return false;
    const Value *ok = reader.Need("ok", Value::Type::kBool);
    const Value *out = reader.Need("out", Value::Type::kString);
    const Value *reply = reader.Need("reply", Value::Type::kString);
    if (ok == nullptr || out == nullptr || reply == nullptr) return false;
    record.succeeded = ok->flag;
    if (!reader.Hex(*out, "out", &record.out)) return false;
    if (record.out.size() != std::min(cbReturned, cbOut))
        return reader.Fail("\"out\" must hold the bytes delivered: " + std::to_string(std::min(cbReturned, cbOut)));
    if (const Value *written = object.Find("written"); written != nullptr) {
        if (!reader.Hex(*written, "written", &record.written)) return false;
        if (record.written.size() > kMaxBlockBytes) return reader.Fail("\"written\" is too large");
    }
    if (reply->text == "result") {
        record.reply = Reply::kResult;
        return reader.Word("result", &record.result);
    }
    if (reply->text == "empty") {
        record.reply = Reply::kEmpty;
    } else if (reply->text == "failed") {
        record.reply = Reply::kCallFailed;
    } else {
        return reader.Fail("\"reply\" must be \"result\", \"empty\" or \"failed\"");
    }
    return true;
}

bool ReadRecord(const Value &object, std::uint32_t wordSize, std::uint64_t lastSeq, std::uint64_t &inputBudget,
                Record *pRecord, std::string *pError) {
    LineReader reader(object, pError);
    Record &record = *pRecord;
    std::uint64_t thread = 0;
    if (!reader.Number("seq", UINT64_MAX, &record.seq) || !reader.Number("t", UINT64_MAX, &record.timeNs) ||
        !reader.Number("thread", 0xFFFFFFFFu, &thread))
        return false;
    if (record.seq <= lastSeq) return reader.Fail("\"seq\" must grow from line to line");
    record.thread = static_cast<std::uint32_t>(thread);
    const Value *kind = reader.Need("kind", Value::Type::kString);
    if (kind == nullptr) return false;
    if (kind->text == "request") {
        record.kind = RecordKind::kExchange;
        return ReadExchange(reader, object, wordSize, inputBudget, record);
    }
    if (kind->text == "open" || kind->text == "close") {
        record.kind = kind->text == "open" ? RecordKind::kOpen : RecordKind::kClose;
        const Value *device = reader.Need("device", Value::Type::kString);
        if (device == nullptr) return false;
        record.device = device->text;
        if (record.kind == RecordKind::kOpen) {
            const Value *ok = reader.Need("ok", Value::Type::kBool);
            if (ok == nullptr) return false;
            record.succeeded = ok->flag;
        }
        return true;
    }
    if (kind->text == "signal" || kind->text == "wait-end") {
        record.kind = kind->text == "signal" ? RecordKind::kSignal : RecordKind::kWaitEnd;
        return reader.Word("event", &record.event);
    }
    return reader.Fail("kind \"" + kind->text + "\" is unknown");
}

}  // namespace

bool Parse(std::string_view text, const std::string &name, Cassette *pCassette, std::string *pError) {
    Cassette cassette;
    cassette.name = name;
    std::uint64_t inputBudget = kMaxInputBytes;
    std::uint32_t lineNumber = 0;
    bool haveHeader = false;
    std::string message;
    auto fail = [&](std::uint32_t line) {
        if (pError != nullptr) *pError = name + ":" + std::to_string(line) + ": " + message;
        return false;
    };
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
        Value object;
        if (!json::ParseObject(line, &object, &message)) return fail(lineNumber);
        if (!haveHeader) {
            if (!ReadHeader(object, &cassette.header, &message)) return fail(lineNumber);
            haveHeader = true;
            continue;
        }
        Record record;
        record.line = lineNumber;
        const std::uint64_t lastSeq = cassette.records.empty() ? 0 : cassette.records.back().seq;
        if (!ReadRecord(object, cassette.header.wordSize, lastSeq, inputBudget, &record, &message))
            return fail(lineNumber);
        cassette.records.push_back(std::move(record));
    }
    if (!haveHeader) {
        message = "not a cassette: no header line";
        return fail(lineNumber == 0 ? 1 : lineNumber);
    }
    if (pCassette != nullptr) *pCassette = std::move(cassette);
    return true;
}

bool Load(const std::string &path, Cassette *pCassette, std::string *pError) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    auto fail = [&](const char *reason) {
        if (pError != nullptr) *pError = path + ": " + reason;
        if (file != nullptr) std::fclose(file);
        return false;
    };
    if (file == nullptr) return fail(std::strerror(errno));
    std::string text;
    char chunk[65536];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof(chunk), file)) != 0) {
        if (text.size() + got > static_cast<std::size_t>(kMaxFileBytes)) return fail("too large for a cassette");
        text.append(chunk, got);
    }
    if (std::ferror(file) != 0) return fail("cannot be read");
    std::fclose(file);
    return Parse(text, path, pCassette, pError);
}

}  // namespace zel::cassette
