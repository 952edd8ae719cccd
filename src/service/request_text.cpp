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
void AppendFields(std::string &line, std::span<const RequestField> fields, std::span<const std::uint8_t> bytes) {
    for (const RequestField &field : fields) {
        if (bytes.size() < 4u || field.offset > bytes.size() - 4u) continue;
        line += ' ';
        line += field.name;
        line += '=';
        line += Word(field.role, protocol::GetWord(bytes, field.offset));
    }
}

// Where the library looks for the driver's result in a reply of cbOut bytes.
std::uint32_t ResultOffset(std::uint32_t nFunction, std::uint32_t cbOut) {
    const RequestFields *fields = FindRequestFields(nFunction);
    if (fields != nullptr && fields->layout.framing == Framing::Compact) return fields->layout.resultOffset;
    if (nFunction == req::kGetAttributeValue.function) return req::kGetAttributeValue.resultOffset;
    return cbOut - 4;
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
    // The library's reading of the reply: a failed call, a reply that stops
    // before the result word, or the result word itself.
    const std::uint32_t offset = ResultOffset(function, request.cbOut);
    const std::uint32_t cbHeld = request.cbReturned < request.cbOut ? request.cbReturned : request.cbOut;
    if (!request.succeeded) {
        line += "call failed";
    } else if (request.cbOut < 4 || offset > request.cbOut - 4 || cbHeld < offset + 4 || request.cbReturned == 0) {
        line += "empty reply";
    } else if (!request.outKnown) {
        line += Word(FieldRole::kBits, request.resultWord);
    } else if (request.out.size() < offset + 4u) {
        line += "empty reply";
    } else {
        const std::uint32_t result = protocol::GetWord(request.out, offset);
        line += Word(FieldRole::kBits, result);
        if (fields != nullptr && result == 0) {
            AppendFields(line, std::span(fields->out).first(fields->outCount), request.out);
        }
    }
    return line;
}

}  // namespace zel::service
