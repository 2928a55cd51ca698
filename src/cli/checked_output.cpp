#include "cli/checked_output.h"

#include <unistd.h>

#include <cerrno>

namespace kvz {

CheckedOutputBuffer::CheckedOutputBuffer(int fd) : fd_(fd) { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

CheckedOutputBuffer::~CheckedOutputBuffer() { writeBuffered(); }

int CheckedOutputBuffer::finish() {
    writeBuffered();
    return error_;
}

CheckedOutputBuffer::int_type CheckedOutputBuffer::overflow(int_type c) {
    if (!writeBuffered()) return traits_type::eof();
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return traits_type::not_eof(c);
}

int CheckedOutputBuffer::sync() { return writeBuffered() ? 0 : -1; }

// After a failure the rest is dropped: what follows would be incomplete.
bool CheckedOutputBuffer::writeBuffered() {
    const char* next = pbase();
    while (error_ == 0 && next < pptr()) {
        const ssize_t written = ::write(fd_, next, static_cast<std::size_t>(pptr() - next));
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) error_ = errno;
        else next += written;
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return error_ == 0;
}

}  // namespace kvz
