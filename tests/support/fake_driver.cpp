#include "fake_driver.h"

#include <cstring>
#include <stdexcept>

#include "words.h"

namespace zeltest {

std::uint32_t RecordedRequest::Word(std::size_t offset) const {
    if (offset + 4 > input.size()) throw std::out_of_range("request word beyond the input");
    return zel::protocol::GetWord(input, offset);
}

std::uint32_t RecordedRequest::Word(const zel::Word &word) const {
    if (word.function != Function()) throw std::logic_error(std::string("a word of another request: ") + word.name);
    return Word(word.offset);
}

FakeDriver::FakeDriver(std::string name) : name_(std::move(name)) {
    OsaDeviceProvider provider{this, &FakeDriver::Open, &FakeDriver::IoControl, &FakeDriver::Close};
    if (!OsaDeviceRegisterProvider(name_.c_str(), &provider)) {
        throw std::runtime_error("could not register the fake driver as " + name_);
    }
}

FakeDriver::~FakeDriver() { OsaDeviceUnregisterProvider(name_.c_str()); }

void FakeDriver::Queue(Reply reply) {
    std::lock_guard lock(mutex_);
    replies_.push_back(std::move(reply));
}

void FakeDriver::SetDefault(Reply reply) {
    std::lock_guard lock(mutex_);
    default_ = std::move(reply);
}

void FakeDriver::SetOpenFails(bool fails) {
    std::lock_guard lock(mutex_);
    openFails_ = fails;
}

std::vector<RecordedRequest> FakeDriver::Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

RecordedRequest FakeDriver::Last() const {
    std::lock_guard lock(mutex_);
    if (requests_.empty()) throw std::logic_error("the fake driver received no request");
    return requests_.back();
}

void FakeDriver::ClearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

int FakeDriver::Opens() const {
    std::lock_guard lock(mutex_);
    return opens_;
}

int FakeDriver::Closes() const {
    std::lock_guard lock(mutex_);
    return closes_;
}

ZEL_BOOL ZEL_CALLCONV FakeDriver::Open(void *pContext) {
    auto *self = static_cast<FakeDriver *>(pContext);
    std::lock_guard lock(self->mutex_);
    if (self->openFails_) return 0;
    ++self->opens_;
    return 1;
}

void ZEL_CALLCONV FakeDriver::Close(void *pContext) {
    auto *self = static_cast<FakeDriver *>(pContext);
    std::lock_guard lock(self->mutex_);
    ++self->closes_;
}

ZEL_BOOL ZEL_CALLCONV FakeDriver::IoControl(void *pContext, ZEL_UINT32 nControlCode, const void *pIn, ZEL_UINT32 cbIn,
                                            void *pOut, ZEL_UINT32 cbOut, ZEL_UINT32 *pcbReturned) {
    auto *self = static_cast<FakeDriver *>(pContext);
    RecordedRequest request;
    request.controlCode = nControlCode;
    const auto *in = static_cast<const std::uint8_t *>(pIn);
    request.input.assign(in, in + cbIn);
    request.cbOut = cbOut;

    Reply reply;
    {
        std::lock_guard lock(self->mutex_);
        self->requests_.push_back(request);
        if (self->replies_.empty()) {
            reply = self->default_;
        } else {
            reply = std::move(self->replies_.front());
            self->replies_.pop_front();
        }
    }
    auto *out = static_cast<std::uint8_t *>(pOut);
    for (const auto &[offset, value] : reply.words) {
        zel::protocol::PutWordIfRoom(std::span(out, cbOut), offset, value);
    }
    for (const auto &[offset, raw] : reply.bytes) {
        if (offset + raw.size() > cbOut) continue;
        std::memcpy(out + offset, raw.data(), raw.size());
    }
    std::uint32_t count = reply.count.value_or(cbOut);
    if (reply.custom) reply.custom(request, out, cbOut, &count);
    *pcbReturned = count;
    return reply.succeeds ? 1 : 0;
}

}  // namespace zeltest
