// Standard output as a stream buffer that keeps the cause of its first
// failed write, so that the program can report it once its run is over.
#pragma once

#include <array>
#include <streambuf>
#include <string>

#include "common/result.h"

namespace kvz::io {

class CheckedOutputBuffer : public std::streambuf {
public:
    // Writes to the process's standard output.
    CheckedOutputBuffer();
    CheckedOutputBuffer(const CheckedOutputBuffer&) = delete;
    CheckedOutputBuffer& operator=(const CheckedOutputBuffer&) = delete;
    ~CheckedOutputBuffer() override;

    // Writes what is buffered; fails with the system's reason of the first
    // write that failed, if any did.
    Status finish();

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool writeBuffered();

    std::string failure_;  // the first failed write's reason; empty while none failed
    std::array<char, 8192> buffer_{};
};

}  // namespace kvz::io
