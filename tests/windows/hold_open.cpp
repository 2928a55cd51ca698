// hold-open FILE READY RELEASE: opens FILE shared with no other opener, as
// a program that keeps a file to itself does, then makes the file READY and
// waits until a file RELEASE appears (at most a minute) before it lets FILE
// go. For the Windows cases of an output that another process holds.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

namespace {

bool exists(const wchar_t* path) { return ::GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

int main() {
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (arguments == nullptr || count != 4) return 2;
    const HANDLE held = ::CreateFileW(arguments[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return 1;
    const HANDLE ready = ::CreateFileW(arguments[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (ready == INVALID_HANDLE_VALUE) return 1;
    ::CloseHandle(ready);
    for (int waited = 0; waited < 60000 && !exists(arguments[3]); waited += 20) ::Sleep(20);
    ::CloseHandle(held);
    ::LocalFree(arguments);
    return 0;
}
