#include "request_text.h"

#include <cinttypes>
#include <cstdio>

#include "request_fields.h"
#include "words.h"

namespace zel::service {
namespace {

std::string Word(FieldRole role, std::uint32_t value) {
    char text[16];
    if (role == FieldRole::kNumber) {
        std::snprintf(text, sizeof text, "%" PRIu32, value);
    } else {
        std::snprintf(text, sizeof text, "0x%08" PRIX32, value);
    }
    return text;
}

// Appends " name=value" for every field that lies within the bytes.
void AppendFields(std::string &line, std::span<const zel::Word> fields, std::span<const std::uint8_t> bytes) {
    for (const zel::Word &field : fields) {
        if (bytes.size() < 4u || field.offset > bytes.size() - 4u) continue;
        line += ' ';
        line += field.name;
        line += '=';
        line += Word(field.role, protocol::GetWord(bytes, field.offset));
    }
}

// The result word, and the output words after a success; a log record
// keeps the result word alone.
void AppendResult(std::string &line, const ServedRequest &request, const RequestFields *fields, std::uint32_t offset) {
    if (!request.outKnown) {
        line += Word(FieldRole::kBits, request.resultWord);
        return;
    }
    if (request.out.size() < offset + 4u) {
        line += "empty reply";
        return;
    }
    const std::uint32_t result = protocol::GetWord(request.out, offset);
    line += Word(FieldRole::kBits, result);
    if (fields != nullptr && result == 0) {
        AppendFields(line, std::span(fields->out).first(fields->outCount), request.out);
    }
}

}  // namespace

std::string DescribeRequest(const ServedRequest &request) {
    const std::uint32_t function = FunctionNumber(request.controlCode);
    const RequestFields *fields = function == kNoFunction ? nullptr : FindRequestFields(function);
    std::string line;
    if (fields != nullptr) {
        line = fields->operation;
        AppendFields(line, std::span(fields->in).first(fields->inCount), request.in);
    } else {
        line = "control code " + Word(FieldRole::kBits, request.controlCode) + " (" + std::to_string(request.cbIn) +
               " bytes in)";
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
            AppendResult(line, request, fields, offset);
            break;
    }
    return line;
}

}  // namespace zel::service
