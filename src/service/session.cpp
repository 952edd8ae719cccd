#include "session.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <mutex>
#include <system_error>

#include <zel/zelsim_devices.h>

#include "board_service.h"
#include "device_failures.h"
#include "request_fields.h"
#include "requests.h"
#include "service_wire.h"
#include "words.h"

namespace zel::service {
namespace {

using protocol::GetWord;
using protocol::GetWordOr0;
using protocol::PutWord;
using protocol::PutWordIfRoom;

// The session's stand-in buffer starts with this byte, so a text the board
// wrote is told from bytes it left alone.
constexpr std::uint8_t kUnwrittenFill = 0xFF;

bool IsBoardKind(ZEL_HANDLE h) {
    const std::uint32_t kind = sim::KindOf(h);
    return kind >= static_cast<std::uint32_t>(sim::HandleKind::kPhysicalDevice) &&
           kind <= static_cast<std::uint32_t>(sim::HandleKind::kPipe);
}

// A handle the board refuses as closed: every kind's slot generation runs
// from 1, so generation 0 names no object that ever lived.
constexpr ZEL_HANDLE NeverIssued(ZEL_HANDLE h) {
    return sim::MakeHandle(static_cast<sim::HandleKind>(sim::KindOf(h)), 0, sim::IndexOf(h));
}
static_assert(NeverIssued(0x40030007u) == 0x40000007u);

bool Matches(ZEL_HANDLE hObject, const OwnedObject &object) { return object.hObject == hObject; }

// The sessions of the process: the board's keeper asks them whose an object
// is. The board's lock is held when it asks, so the roster's lock comes
// after it and before a ledger's; nothing calls the board holding either.
struct Roster {
    std::mutex mutex;
    std::vector<Session *> sessions;
    Quotas quotas;
};

Roster &TheRoster() {
    static Roster roster;
    return roster;
}

// The session whose request this thread is serving: the debug dump asks
// what it may show.
thread_local const Session *t_serving = nullptr;

class Serving {
public:
    explicit Serving(const Session &session) { t_serving = &session; }
    ~Serving() { t_serving = nullptr; }
    Serving(const Serving &) = delete;
    Serving &operator=(const Serving &) = delete;
};

bool KeeperMayReceive(void *, ZEL_HANDLE hQueue, ZEL_HANDLE hObject) {
    Roster &roster = TheRoster();
    std::lock_guard lock(roster.mutex);
    for (const Session *session : roster.sessions) {
        if (session->Holdings().Owns(hQueue)) return session->Holdings().OwnsOrHostsOn(hObject);
    }
    return false;  // a queue no client holds yet hears of nothing
}

// Outside a client's request (the operator's commands) everything shows.
bool KeeperVisible(void *, ZEL_HANDLE hObject) { return t_serving == nullptr || t_serving->Holdings().Owns(hObject); }

void KeeperClosed(void *, ZEL_HANDLE hObject) {
    Roster &roster = TheRoster();
    std::lock_guard lock(roster.mutex);
    for (Session *session : roster.sessions) session->ObjectEnded(hObject);
}

std::uint32_t KeeperCaller(void *) { return t_serving != nullptr ? t_serving->Id() : 0; }

const sim::ObjectKeeper kKeeper{&KeeperMayReceive, &KeeperVisible, &KeeperClosed, &KeeperCaller, nullptr};

// Under the board's lock, as the keeper's functions.
bool ClientsQueuesDrained(void *) {
    Roster &roster = TheRoster();
    std::lock_guard lock(roster.mutex);
    return std::all_of(roster.sessions.begin(), roster.sessions.end(),
                       [](const Session *session) { return session->QueuesDrained(); });
}

const sim::ApplicationProbe kProbe{&ClientsQueuesDrained, nullptr};

}  // namespace

void SetQuotas(const Quotas &quotas) {
    Roster &roster = TheRoster();
    std::lock_guard lock(roster.mutex);
    roster.quotas = quotas;
}

Quotas CurrentQuotas() {
    Roster &roster = TheRoster();
    std::lock_guard lock(roster.mutex);
    return roster.quotas;
}

bool ParseQuota(std::string_view text, Quotas *pQuotas) {
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view kind = text.substr(0, equals);
    const std::string_view number = text.substr(equals + 1);
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (number.empty() || error != std::errc{} || end != number.data() + number.size()) return false;
    std::uint32_t *target = kind == "queues"      ? &pQuotas->queues
                            : kind == "pipes"     ? &pQuotas->pipes
                            : kind == "logical"   ? &pQuotas->logicalDevices
                            : kind == "exclusive" ? &pQuotas->exclusiveOpens
                                                  : nullptr;
    if (target == nullptr) return false;
    *target = value;
    return true;
}

// ---------------------------------------------------------------------------
// Ledger
// ---------------------------------------------------------------------------

bool Ledger::Owns(ZEL_HANDLE hObject) const {
    std::lock_guard lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(),
                       [hObject](const Entry &entry) { return Matches(hObject, entry.object); });
}

bool Ledger::OwnsOrHostsOn(ZEL_HANDLE hObject) const {
    std::lock_guard lock(mutex_);
    return std::any_of(entries_.begin(), entries_.end(), [hObject](const Entry &entry) {
        return Matches(hObject, entry.object) || entry.hHost == hObject;
    });
}

void Ledger::Acquire(ZEL_HANDLE hObject, ZEL_HANDLE hHost, bool exclusive) {
    std::lock_guard lock(mutex_);
    for (Entry &entry : entries_) {
        if (Matches(hObject, entry.object)) {
            ++entry.object.opens;
            return;
        }
    }
    entries_.push_back({{hObject, 1}, hHost, exclusive});
}

bool Ledger::Drop(ZEL_HANDLE hObject) {
    std::lock_guard lock(mutex_);
    const auto found = std::find_if(entries_.begin(), entries_.end(),
                                    [hObject](const Entry &entry) { return Matches(hObject, entry.object); });
    if (found == entries_.end()) return false;
    if (--found->object.opens != 0) return false;
    entries_.erase(found);
    return true;
}

void Ledger::Remove(ZEL_HANDLE hObject) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [hObject](const Entry &entry) { return Matches(hObject, entry.object); });
}

std::vector<OwnedObject> Ledger::Objects() const {
    std::lock_guard lock(mutex_);
    std::vector<OwnedObject> objects;
    objects.reserve(entries_.size());
    for (const Entry &entry : entries_) objects.push_back(entry.object);
    return objects;
}

std::uint32_t Ledger::Count(std::uint32_t nKind) const {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint32_t>(std::count_if(entries_.begin(), entries_.end(), [nKind](const Entry &entry) {
        return sim::KindOf(entry.object.hObject) == nKind;
    }));
}

std::uint32_t Ledger::CountExclusive() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::uint32_t>(
        std::count_if(entries_.begin(), entries_.end(), [](const Entry &entry) { return entry.exclusive; }));
}

bool Ledger::TakeLatest(OwnedObject *pObject) {
    std::lock_guard lock(mutex_);
    if (entries_.empty()) return false;
    *pObject = entries_.back().object;
    entries_.pop_back();
    return true;
}

std::vector<OwnedObject> Ledger::TakeAll() {
    std::lock_guard lock(mutex_);
    std::vector<OwnedObject> taken;
    taken.reserve(entries_.size());
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) taken.push_back(entry->object);
    entries_.clear();
    return taken;
}

// ---------------------------------------------------------------------------
// Session
// ---------------------------------------------------------------------------

Session::Session(SessionHost &host, std::uint32_t nId) : host_(host), id_(nId) {
    Roster &roster = TheRoster();
    std::lock_guard lock(roster.mutex);
    if (roster.sessions.empty()) {
        sim::SetObjectKeeper(&kKeeper);
        sim::SetApplicationProbe(&kProbe);
    }
    roster.sessions.push_back(this);
}

Session::~Session() {
    sim::ForgetCaller(id_);
    Roster &roster = TheRoster();
    std::lock_guard lock(roster.mutex);
    std::erase(roster.sessions, this);
    if (roster.sessions.empty()) {
        sim::SetObjectKeeper(nullptr);
        sim::SetApplicationProbe(nullptr);
    }
}

void Session::NoteQueues(std::uint32_t nEpoch, std::uint32_t nBusy) {
    if (queuesEpoch_ != 0 && !wire::NewerEpoch(nEpoch, queuesEpoch_)) return;
    queuesEpoch_ = nEpoch;
    queuesBusy_.store(nBusy, std::memory_order_release);
}

SessionReply Session::Serve(std::uint32_t nControlCode, std::span<const std::uint8_t> in, std::uint32_t cbOut) {
    const std::uint32_t function = FunctionNumber(nControlCode);
    const RequestFields *fields = FindRequestFields(function);
    in_.assign(in.begin(), in.end());
    buffer_.clear();
    std::uint32_t token = 0;
    if (fields != nullptr) {
        MaskForeignHandles(function);
        if (function == req::kCreateEventQueue.function) {
            constexpr Word hEvent = event_queues::create_queue::hEvent;
            const std::uint32_t eventWord = GetWordOr0(in_, hEvent);
            if (in_.size() >= hEvent.offset + 4 && eventWord != 0 && eventWord != ZEL_INVALID_HANDLE_VALUE) {
                token = host_.IssueEventToken(id_, eventWord);
                PutWord(in_, hEvent, token);
            }
        }
        PrepareCallerBuffer(function);
    }
    out_.assign(cbOut, 0);
    std::uint32_t cbReturned = 0;
    bool succeeded = true;
    if (fields == nullptr || !RefuseOverQuota(function, cbOut, &cbReturned)) {
        const Serving serving(*this);
        succeeded = host_.BoardIoControl(nControlCode, in_, out_, &cbReturned);
    }
    const std::uint32_t delivered = std::min(cbReturned, cbOut);
    if (fields != nullptr) {
        RecordOutcome(function, in, succeeded, delivered, token);
    } else if (token != 0) {
        host_.ForgetEventToken(token);
    }
    SessionReply reply;
    reply.succeeded = succeeded;
    reply.cbReturned = cbReturned;
    reply.data = std::span(out_).first(delivered);
    if (!buffer_.empty()) reply.buffer = std::span(buffer_).first(WrittenBufferBytes(function, delivered));
    return reply;
}

void Session::ReleaseLargeBuffers() {
    for (std::vector<std::uint8_t> *buffer : {&in_, &out_, &buffer_}) {
        if (buffer->capacity() > kKeptBufferBytes) std::vector<std::uint8_t>().swap(*buffer);
    }
}

// A request the board would take in full that makes one more object of a
// kind the client holds its share of. The reply is the board's way of
// refusing: the whole output, the new handle invalid, the result word.
bool Session::RefuseOverQuota(std::uint32_t nFunction, std::uint32_t cbOut, std::uint32_t *pcbReturned) {
    const RequestLayout &layout = FindRequestFields(nFunction)->layout;
    if (in_.size() < layout.cbIn || cbOut < layout.cbOut) return false;
    const Quotas quotas = CurrentQuotas();
    const auto held = [this](sim::HandleKind kind) { return ledger_.Count(static_cast<std::uint32_t>(kind)); };
    ZEL_RESULT refusal = 0;
    Word hNew{};
    if (nFunction == req::kCreateEventQueue.function) {
        if (held(sim::HandleKind::kEventQueue) >= quotas.queues) refusal = sim::kSimQueueQuota;
        hNew = event_queues::create_queue::hEventQueue;
    } else if (nFunction == req::kCreatePipe.function) {
        if (held(sim::HandleKind::kPipe) >= quotas.pipes) refusal = sim::kSimPipeQuota;
        hNew = pipes::create_pipe::hPipe;
    } else if (nFunction == req::kCreateLogicalDevice.function) {
        if (held(sim::HandleKind::kLogicalDevice) >= quotas.logicalDevices) refusal = sim::kSimLogicalQuota;
        hNew = devices::create_logical::hLogicalDevice;
    } else if (nFunction == req::kOpenPhysicalDevice.function) {
        const bool exclusive = (GetWord(in_, devices::open_physical::nParam4.offset) & ZELSIM_OPEN_SHARED) == 0;
        if (exclusive && ledger_.CountExclusive() >= quotas.exclusiveOpens) refusal = sim::kSimExclusiveQuota;
        hNew = devices::open_physical::hDevice;
    }
    if (refusal == 0) return false;
    PutWord(out_, hNew.offset, ZEL_INVALID_HANDLE_VALUE);
    PutWord(out_, layout.resultOffset, static_cast<std::uint32_t>(refusal));
    *pcbReturned = cbOut;
    return true;
}

void Session::MaskForeignHandles(std::uint32_t nFunction) {
    const RequestFields &fields = *FindRequestFields(nFunction);
    for (std::size_t i = 0; i < fields.inCount; ++i) {
        const Word &field = fields.in[i];
        if (field.role != FieldRole::kHandle || in_.size() < field.offset + 4u) continue;
        const ZEL_HANDLE h = GetWord(in_, field.offset);
        if (IsBoardKind(h) && !ledger_.Owns(h)) PutWord(in_, field.offset, NeverIssued(h));
    }
}

// Points the request's address word at the session's own buffer, sized as
// the request declares (within the wire bound). A request too short to
// carry its address, a null address and an empty buffer are left for the
// board to refuse, with the address 0.
bool Session::PrepareCallerBuffer(std::uint32_t nFunction) {
    const RequestFields &fields = *FindRequestFields(nFunction);
    const CallerBufferRule rule = fields.buffer;
    const RequestLayout &layout = fields.layout;
    if (rule.unit == 0 || in_.size() < layout.cbIn) return false;
    const bool hasHighWord = in_.size() >= std::size_t{layout.cbIn} + 4;
    const std::uint64_t clientAddress = GetWord(in_, layout.addressOffset) |
                                        (hasHighWord ? static_cast<std::uint64_t>(GetWord(in_, layout.cbIn)) << 32 : 0);
    std::uint32_t units = GetWord(in_, rule.sizeOffset);
    if (std::uint64_t{units} * rule.unit > wire::kMaxBuffer) {
        units = wire::kMaxBuffer / rule.unit;
        PutWord(in_, rule.sizeOffset, units);
    }
    std::uint64_t address = 0;
    if (clientAddress != 0 && units != 0) {
        buffer_.assign(std::size_t{units} * rule.unit, kUnwrittenFill);
        address = reinterpret_cast<std::uintptr_t>(buffer_.data());
    }
    PutWord(in_, layout.addressOffset, static_cast<std::uint32_t>(address));
    if (hasHighWord || sizeof(void *) > 4) {
        if (!hasHighWord) in_.resize(std::size_t{layout.cbIn} + 4);
        PutWord(in_, layout.cbIn, static_cast<std::uint32_t>(address >> 32));
    }
    return !buffer_.empty();
}

// Records: as many as the reply's count word says. A text: as far as the
// board wrote it (the text, its NUL and any padding).
std::uint32_t Session::WrittenBufferBytes(std::uint32_t nFunction, std::uint32_t cbDelivered) const {
    const CallerBufferRule rule = FindRequestFields(nFunction)->buffer;
    const auto room = static_cast<std::uint32_t>(buffer_.size());
    if (rule.writtenOffset != 0) {
        const std::uint32_t units = cbDelivered >= rule.writtenOffset + 4u ? GetWord(out_, rule.writtenOffset) : 0;
        return static_cast<std::uint32_t>(std::min<std::uint64_t>(std::uint64_t{units} * rule.unit, room));
    }
    std::uint32_t end = room;
    while (end != 0 && buffer_[end - 1] == kUnwrittenFill) --end;
    return end;
}

bool Session::OwnResult(std::uint32_t nFunction, std::uint32_t cbDelivered, ZEL_RESULT *pResult) const {
    const RequestLayout &layout = FindRequestFields(nFunction)->layout;
    if (cbDelivered < layout.resultOffset + 4u) return false;
    *pResult = static_cast<ZEL_RESULT>(GetWord(out_, layout.resultOffset));
    return true;
}

void Session::RecordOutcome(std::uint32_t nFunction, std::span<const std::uint8_t> clientIn, bool succeeded,
                            std::uint32_t cbDelivered, std::uint32_t nToken) {
    const RequestFields &fields = *FindRequestFields(nFunction);
    ZEL_RESULT result = 0;
    const bool accepted = succeeded && OwnResult(nFunction, cbDelivered, &result) && ZelSuccess(result);
    bool tokenKept = false;
    for (std::size_t i = 0; i < fields.outCount && accepted; ++i) {
        const Word &field = fields.out[i];
        if (cbDelivered < field.offset + 4u) continue;
        const ZEL_HANDLE h = GetWord(out_, field.offset);
        if (field.role == FieldRole::kNewHandle && h != 0 && h != ZEL_INVALID_HANDLE_VALUE) {
            ZEL_HANDLE hHost = 0;
            bool exclusive = false;
            if (nFunction == req::kCreateLogicalDevice.function) {
                hHost = GetWordOr0(clientIn, devices::create_logical::hHostDevice);
            } else if (nFunction == req::kOpenPhysicalDevice.function) {
                exclusive = (GetWordOr0(clientIn, devices::open_physical::nParam4) & ZELSIM_OPEN_SHARED) == 0;
            }
            ledger_.Acquire(h, hHost, exclusive);
            if (nToken != 0) {
                queueTokens_.emplace_back(h, nToken);
                tokenKept = true;
            }
        } else if (field.role == FieldRole::kFoundHandle && !ledger_.Owns(h)) {
            // Another client's device is not open as far as this one can tell.
            PutWord(out_, field.offset, ZEL_INVALID_HANDLE_VALUE);
            PutWord(out_, fields.layout.resultOffset, static_cast<std::uint32_t>(sim::failures::kDeviceNotOpen));
        }
    }
    if (nToken != 0 && !tokenKept) host_.ForgetEventToken(nToken);
    if (!accepted) return;
    if (nFunction == req::kClose.function) {
        // What the board ended has left the ledger already, with whatever
        // it took along.
        const ZEL_HANDLE h = GetWordOr0(clientIn, devices::close::hDevice);
        ledger_.Drop(h);
        if (!ledger_.Owns(h)) ForgetQueueToken(h);
    } else if (nFunction == req::kOpenPhysicalDeviceEx.function) {
        AcquireOpenedDevice(clientIn);
    }
}

// The open without a handle: the board is asked for the handle, as the
// client would, with the same device parameters.
void Session::AcquireOpenedDevice(std::span<const std::uint8_t> clientIn) {
    using Open = devices::open_physical_ex;
    using Lookup = devices::get_device_handle;
    constexpr RequestLayout lookup = Lookup::kLayout;
    std::array<std::uint8_t, lookup.cbIn> in{};
    std::array<std::uint8_t, lookup.cbOut> out{};
    PutWord(in, Lookup::nParam1, GetWordOr0(clientIn, Open::nParam1));
    PutWord(in, Lookup::nParam2, GetWordOr0(clientIn, Open::nParam2));
    PutWord(in, Lookup::nParam3, GetWordOr0(clientIn, Open::nParam3));
    std::uint32_t cbReturned = 0;
    if (!host_.BoardIoControl(ControlCode(lookup.function), in, out, &cbReturned) || cbReturned < lookup.cbOut) return;
    if (GetWord(out, lookup.resultOffset) != 0) return;
    ledger_.Acquire(GetWord(out, Lookup::hDevice));
}

void Session::ForgetQueueToken(ZEL_HANDLE hQueue) {
    const auto found = std::find_if(queueTokens_.begin(), queueTokens_.end(),
                                    [hQueue](const auto &entry) { return entry.first == hQueue; });
    if (found == queueTokens_.end()) return;
    host_.ForgetEventToken(found->second);
    queueTokens_.erase(found);
}

std::uint32_t Session::CloseAll() {
    constexpr RequestLayout close = req::kClose;
    std::uint32_t closed = 0;
    // One at a time: a close may end others of the ledger (a host's logical
    // devices), which then leave it and are not closed again.
    OwnedObject object;
    while (ledger_.TakeLatest(&object)) {
        for (std::uint32_t k = 0; k < object.opens; ++k) {
            std::array<std::uint8_t, close.cbIn> in{};
            std::array<std::uint8_t, close.cbOut> out{};
            PutWord(in, devices::close::hDevice, object.hObject);
            std::uint32_t cbReturned = 0;
            if (host_.BoardIoControl(ControlCode(close.function), in, out, &cbReturned) && cbReturned >= close.cbOut &&
                GetWord(out, close.resultOffset) == 0) {
                ++closed;
            }
        }
    }
    Forget();
    return closed;
}

void Session::Forget() {
    ledger_.TakeAll();
    for (const auto &entry : queueTokens_) host_.ForgetEventToken(entry.second);
    queueTokens_.clear();
}

}  // namespace zel::service
