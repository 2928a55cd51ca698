// Standard output as a stream that keeps the cause of its first failed
// write, so that the program can report it once its run is over.
#pragma once

#include <array>
#include <streambuf>

namespace kvz {

class CheckedOutputBuffer : public std::streambuf {
public:
    explicit CheckedOutputBuffer(int fd);
    CheckedOutputBuffer(const CheckedOutputBuffer&) = delete;
    CheckedOutputBuffer& operator=(const CheckedOutputBuffer&) = delete;
    ~CheckedOutputBuffer() override;

    // Writes what is buffered; 0 when everything written so far arrived,
    // else the errno of the first write that failed.
    int finish();

protected:
    int_type overflow(int_type c) override;
    int sync() override;

private:
    bool writeBuffered();

    int fd_;
    int error_ = 0;
    std::array<char, 8192> buffer_{};
};

}  // namespace kvz
