// Requests as text, by the request descriptions: one line for a request as
// the board served it, and the pieces it is made of, for the tracer, the
// request log and any tool that shows recorded requests.
//
//   12.000345 ZelDrvSetAttributeValue hObject=0x10010005 (FXO 0)
//       nAttribId=8 (DEV_LABEL) cbAttribValue=10 pAttribValue="Reception" -> result=0x00000000
//
// (one line). The board time comes first when known; then the operation
// and every input word by its name; after the arrow the library's reading
// of the reply: "result=" and the driver's result word, then the output
// words on success; or "call failed", "empty reply". Numbers are decimal,
// bits and codes hex; handles carry the object's name, attribute ids,
// device and logical types and event codes their names; attribute values,
// time-slot masks and texts are shown (bounded); event records decoded.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include <zel/zel.h>
#include "requests.h"

namespace zel::decode {

// Names the object a handle stands for ("FXO 0", "DTMF detector 1 on
// FXO 0", "queue 3"), or gives "" when it cannot tell. An empty function
// names nothing: handles are then shown as numbers only.
using HandleNamer = std::function<std::string(std::uint32_t hObject)>;

// The most bytes of a value shown; a longer one ends in "...".
inline constexpr std::size_t kMaxShownBytes = 32;
inline constexpr std::size_t kMaxShownChars = 64;
// The most records of one request shown; the rest are counted.
inline constexpr std::size_t kMaxShownRecords = 8;

struct ServedRequest {
    std::uint32_t controlCode = 0;
    std::span<const std::uint8_t> in;   // as many input bytes as are known
    std::uint32_t cbIn = 0;             // the input size sent
    std::uint32_t cbOut = 0;            // the output size asked for
    std::span<const std::uint8_t> out;  // the output bytes delivered, if known
    bool outKnown = true;               // false: only resultWord tells the outcome
    bool succeeded = false;             // what the device-control call returned
    std::uint32_t cbReturned = 0;       // the byte count it reported
    std::uint32_t resultWord = 0;       // used when !outKnown, or outCut and out stops before it
    bool outCut = false;                // out holds only the reply's first bytes (a log keeps no more)
    // What the driver wrote into the caller's buffer (records, a text), if
    // known; empty otherwise.
    std::span<const std::uint8_t> buffer;
    std::optional<std::uint64_t> boardMicros;  // board time when it was served
};

// The whole line, without a line end. namer may be empty.
std::string DescribeRequest(const ServedRequest &request, const HandleNamer &namer = {});

// Board time in microseconds as seconds: "12.000345".
std::string BoardTimeText(std::uint64_t nMicros);

// One 4-byte word's value as a trace shows it: "7", "0x00000204 (DTMF digit
// received)", "0x10010005 (FXO 0)", "8 (DEV_LABEL)".
std::string WordText(const Word &word, std::uint32_t value, const HandleNamer &namer = {});

// An attribute's value by the type its id has: a number, "true"/"false", a
// quoted text with escapes, or bytes in hex; bounded. An unknown id shows
// hex.
std::string AttributeValueText(std::uint32_t nAttribId, std::span<const std::uint8_t> value);

// Bytes in hex ("hex:01ff..."), at most kMaxShownBytes of them.
std::string HexText(std::span<const std::uint8_t> bytes);
// A text in double quotes, escaped, cut at its NUL and at kMaxShownChars.
std::string QuotedText(std::span<const std::uint8_t> bytes);

// One event record: "{#7 at 1.250000: FXO 0: DTMF digit received (0x0204),
// value 53 '5'}". The object is named by the namer, else by the device word
// the world's records carry.
std::string RecordText(const ZelEventData &record, const HandleNamer &namer = {});

}  // namespace zel::decode
