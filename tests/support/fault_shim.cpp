// A library that the process tests preload (LD_PRELOAD) into kvzpack and
// kvzdeck, to bring about what no option can: a file damaged on its way to
// the disk, a write that stalls, a temporary file that cannot be made. Each
// fault is asked for by an environment variable naming a piece of the paths
// it concerns:
//   KVZPACK_TEST_FLIP=TEXT         write() to a file whose path holds TEXT
//                                  flips bit 0 of the 21st byte written
//   KVZPACK_TEST_STALL=TEXT        write() to such a file first writes one
//                                  byte to the descriptor named by
//                                  KVZPACK_TEST_STALL_NOTIFY (if set), then
//                                  waits KVZPACK_TEST_STALL_MS milliseconds
//                                  (2000 when not set), then writes
//   KVZPACK_TEST_FAIL_CREATE=TEXT  mkstemp() of a name holding TEXT fails
//                                  with EACCES
//   KVZPACK_TEST_KILL_AT_RENAME=N  the Nth rename() of the process (from 1)
//                                  ends it with SIGKILL instead, as a
//                                  power loss or `kill -9` would there
//   KVZPACK_TEST_KILL_AT_CREATE=N  the Nth mkstemp() of a temporary
//                                  output ("NAME.partXXXXXX") ends the
//                                  process with SIGKILL instead
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

constexpr std::size_t kFlippedByte = 20;

// The variable's value, or null when it is not set or empty.
const char* setting(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

bool pathHolds(int fd, const char* text) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char path[4096];
    const ssize_t length = ::readlink(link, path, sizeof path - 1);
    if (length < 0) return false;
    path[length] = '\0';
    return std::strstr(path, text) != nullptr;
}

template <class Function>
Function next(const char* name) {
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

using WriteFunction = ssize_t (*)(int, const void*, std::size_t);

void stall() {
    if (const char* notify = setting("KVZPACK_TEST_STALL_NOTIFY"))
        next<WriteFunction>("write")(std::atoi(notify), "s", 1);
    const char* milliseconds = setting("KVZPACK_TEST_STALL_MS");
    const long wait = milliseconds ? std::atol(milliseconds) : 2000;
    timespec remaining{wait / 1000, (wait % 1000) * 1000000};
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
}

}  // namespace

extern "C" ssize_t write(int fd, const void* bytes, std::size_t count) {
    const WriteFunction realWrite = next<WriteFunction>("write");
    if (const char* text = setting("KVZPACK_TEST_STALL"); text && pathHolds(fd, text)) stall();
    if (const char* text = setting("KVZPACK_TEST_FLIP"); text && count > kFlippedByte && pathHolds(fd, text)) {
        std::string damaged(static_cast<const char*>(bytes), count);
        damaged[kFlippedByte] = static_cast<char>(damaged[kFlippedByte] ^ 1);
        return realWrite(fd, damaged.data(), count);
    }
    return realWrite(fd, bytes, count);
}

extern "C" int mkstemp(char* pattern) {
    if (const char* text = setting("KVZPACK_TEST_FAIL_CREATE"); text && std::strstr(pattern, text)) {
        errno = EACCES;
        return -1;
    }
    static int temporaries = 0;
    if (const char* at = setting("KVZPACK_TEST_KILL_AT_CREATE");
        at && std::strstr(pattern, ".partXXXXXX") && ++temporaries == std::atoi(at))
        ::raise(SIGKILL);
    return next<int (*)(char*)>("mkstemp")(pattern);
}

extern "C" int rename(const char* from, const char* to) {
    static int renames = 0;
    if (const char* at = setting("KVZPACK_TEST_KILL_AT_RENAME"); at && ++renames == std::atoi(at)) ::raise(SIGKILL);
    return next<int (*)(const char*, const char*)>("rename")(from, to);
}
