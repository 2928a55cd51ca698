#include "io/checked_output.h"

#include <unistd.h>

#include <cstdint>
#include <span>

#include "io/io.h"

namespace kvz::io {

CheckedOutputBuffer::CheckedOutputBuffer() { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

CheckedOutputBuffer::~CheckedOutputBuffer() { writeBuffered(); }

Status CheckedOutputBuffer::finish() {
    if (writeBuffered()) return success();
    return fail(failure_);
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
    if (failure_.empty() && pptr() > pbase()) {
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(pbase()),
                              static_cast<std::size_t>(pptr() - pbase()));
        if (Status written = writeAll(STDOUT_FILENO, bytes); !written) failure_ = written.reason();
    }
    setp(buffer_.data(), buffer_.data() + buffer_.size());
    return failure_.empty();
}

}  // namespace kvz::io
