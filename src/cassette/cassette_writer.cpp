// Writing a cassette as the records arrive. Each line is flushed as it is
// written, so a program that dies leaves every exchange it made on disk.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "cassette.h"

namespace zel::cassette {

std::uint64_t MonotonicNs() {
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

std::uint32_t Writer::ThreadNumber() {
    static std::atomic<std::uint32_t> next{1};
    thread_local const std::uint32_t number = next.fetch_add(1, std::memory_order_relaxed);
    return number;
}

Writer::~Writer() { Close(); }

bool Writer::Open(const std::string &path, const Header &header, std::string *pError) {
    std::lock_guard lock(lock_);
    if (file_ != nullptr) {
        if (pError != nullptr) *pError = path + ": a cassette is already being written";
        return false;
    }
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        if (pError != nullptr) *pError = path + ": " + std::strerror(errno);
        return false;
    }
    const std::string line = EncodeHeader(header) + '\n';
    if (std::fputs(line.c_str(), file) < 0 || std::fflush(file) != 0) {
        if (pError != nullptr) *pError = path + ": cannot be written";
        std::fclose(file);
        return false;
    }
    file_ = file;
    wordSize_ = header.wordSize;
    nextSeq_ = 1;
    startNs_ = MonotonicNs();
    failed_ = false;
    return true;
}

bool Writer::IsOpen() const {
    std::lock_guard lock(lock_);
    return file_ != nullptr;
}

std::uint64_t Writer::Write(Record record) {
    // Stamped before the lock: the time is when the record arose, not when
    // its turn to be written came.
    const std::uint64_t now = MonotonicNs();
    if (record.thread == 0) record.thread = ThreadNumber();
    std::lock_guard lock(lock_);
    if (file_ == nullptr) return 0;
    if (record.seq == 0) record.seq = nextSeq_;
    nextSeq_ = record.seq + 1;
    if (record.timeNs == 0) record.timeNs = now > startNs_ ? now - startNs_ : 0;
    const std::string line = EncodeRecord(record, wordSize_) + '\n';
    if (std::fputs(line.c_str(), file_) < 0 || std::fflush(file_) != 0) failed_ = true;
    return record.seq;
}

bool Writer::Close() {
    std::lock_guard lock(lock_);
    if (file_ == nullptr) return false;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return closed && !failed_;
}

}  // namespace zel::cassette
