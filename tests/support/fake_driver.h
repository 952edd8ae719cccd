// A scripted stand-in for the boards' driver, registered through the OS
// layer's provider registry. It records every request byte for byte and
// answers from a script, so tests can check exact request words and every
// transport outcome.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <zel/zel.h>

#include "requests.h"

namespace zeltest {

struct RecordedRequest {
    std::uint32_t controlCode = 0;
    std::vector<std::uint8_t> input;
    std::uint32_t cbOut = 0;

    std::uint32_t Function() const { return zel::FunctionNumber(controlCode); }
    std::uint32_t Word(std::size_t offset) const;     // little-endian word of the input
    std::uint32_t Word(const zel::Word &word) const;  // a word of this request, by name
};

// Where the fake driver writes into the output: at a named word or, for the
// result word and for bytes a test places on purpose, at an offset.
template <class T>
struct At {
    std::uint32_t offset;
    T value;
    At(std::uint32_t at, T v) : offset(at), value(std::move(v)) {}
    At(const zel::Word &word, T v) : offset(word.offset), value(std::move(v)) {}
};

struct Reply {
    bool succeeds = true;                  // what the device-control call returns
    std::optional<std::uint32_t> count;    // bytes returned; default: the whole output
    std::vector<At<std::uint32_t>> words;  // words written to the output
    std::vector<At<std::string>> bytes;    // raw bytes written to the output
    // Runs after the words and bytes are written; may change the output and count.
    std::function<void(const RecordedRequest &, std::uint8_t *pOut, std::uint32_t cbOut, std::uint32_t *pCount)> custom;

    static Reply Result(std::uint32_t offset, std::uint32_t value) {
        Reply r;
        r.words.push_back({offset, value});
        return r;
    }
    static Reply Result(const zel::RequestLayout &layout, std::uint32_t value) {
        return Result(layout.resultOffset, value);
    }
};

class FakeDriver {
public:
    explicit FakeDriver(std::string name = "ZELDRV");
    ~FakeDriver();
    FakeDriver(const FakeDriver &) = delete;
    FakeDriver &operator=(const FakeDriver &) = delete;

    // Replies are used in order; when none is queued the default reply is
    // used (success, whole output, nothing written).
    void Queue(Reply reply);
    void SetDefault(Reply reply);
    void SetOpenFails(bool fails);

    std::vector<RecordedRequest> Requests() const;
    RecordedRequest Last() const;
    void ClearRequests();
    int Opens() const;
    int Closes() const;

private:
    static ZEL_BOOL ZEL_CALLCONV Open(void *pContext);
    static ZEL_BOOL ZEL_CALLCONV IoControl(void *pContext, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn,
                                           void *pOut, ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned);
    static void ZEL_CALLCONV Close(void *pContext);

    std::string name_;
    mutable std::mutex mutex_;
    std::deque<Reply> replies_;
    Reply default_;
    std::vector<RecordedRequest> requests_;
    bool openFails_ = false;
    int opens_ = 0;
    int closes_ = 0;
};

}  // namespace zeltest
