// io's system calls on Windows. Paths are UTF-8 inside the programs and
// UTF-16 for the system's wide-character functions; reasons are the
// system's own texts (FormatMessage), in the user's language.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <streambuf>
#include <tuple>
#include <vector>

#include "io/io.h"
#include "io/process.h"
#include "io/publish.h"
#include "io/system_internal.h"

namespace kvz::io {
namespace {

// From this length on, a path goes to the system in its "\\?\" form, which
// no MAX_PATH limit applies to (248 is the shortest limit, CreateDirectory's).
constexpr std::size_t kLongPath = MAX_PATH - 12;

// Names on NTFS, FAT32 and exFAT: at most 255 UTF-16 code units.
constexpr std::size_t kLongestName = 255;

// The most bytes one ReadFile or WriteFile call is asked to move.
constexpr std::size_t kLargestTransfer = std::size_t{1} << 30;

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// Owns what CreateFile gave: nothing when it failed.
OwnedHandle own(HANDLE handle) { return OwnedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle); }

struct LocalFreer {
    void operator()(void* memory) const { ::LocalFree(memory); }
};

std::wstring widen(std::string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, wide.data(), size);
    return wide;
}

std::string narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, bytes.data(), size, nullptr, nullptr);
    return bytes;
}

// `path` as the system is given it: UTF-16, and a long path made absolute
// with "\\?\" before it (GetFullPathName also resolves "." and ".." and
// turns '/' into '\', as that form requires).
std::wstring systemPath(const std::string& path) {
    std::wstring wide = widen(path);
    if (wide.size() < kLongPath || wide.starts_with(L"\\\\?\\")) return wide;
    const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return wide;
    std::wstring full(size, L'\0');
    full.resize(::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr));
    if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// A C runtime descriptor that owns `handle` (none for an invalid handle,
// the system's error kept).
FileDescriptor adopt(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) return FileDescriptor();
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        ::SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    }
    return FileDescriptor(fd);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Opens `path`, a folder too (FILE_FLAG_BACKUP_SEMANTICS), sharing it with
// every other opener, so that nothing else is kept from it meanwhile.
HANDLE openExisting(const std::string& path, DWORD access) {
    return ::CreateFileW(systemPath(path).c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool isFolder(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileType(handle) == FILE_TYPE_DISK && ::GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// What tells one file from every other: its volume and its index there.
using FileIdentity = std::tuple<DWORD, DWORD, DWORD>;

std::optional<FileIdentity> identityOf(const std::string& path) {
    const OwnedHandle file = own(openExisting(path, FILE_READ_ATTRIBUTES));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}

Status writeToConsole(HANDLE console, std::span<const std::uint8_t> bytes) {
    const std::wstring text = widen({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    std::wstring_view rest = text;
    while (!rest.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 8192));
        if (!::WriteConsoleW(console, rest.data(), chunk, &written, nullptr)) return os::lastFailure();
        rest.remove_prefix(written);
    }
    return success();
}

// Standard error without a C runtime stream in between: bytes as they are
// (no LF made CR LF), through writeAll, so into a console as its text.
class StandardErrorBuffer : public std::streambuf {
public:
    StandardErrorBuffer() { setp(buffer_.data(), buffer_.data() + buffer_.size()); }

protected:
    int_type overflow(int_type c) override {
        writeBuffered();
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        writeBuffered();
        return 0;
    }

private:
    // What standard error cannot take is lost: there is nowhere to tell it.
    void writeBuffered() {
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(pbase()), static_cast<std::size_t>(pptr() - pbase()));
        if (!bytes.empty()) static_cast<void>(writeAll(STDERR_FILENO, bytes));
        setp(buffer_.data(), buffer_.data() + buffer_.size());
    }

    std::array<char, 1024> buffer_{};
};

}  // namespace

namespace os {

int lastError() { return static_cast<int>(::GetLastError()); }

std::string describeError(int error) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreer> owned(text);
    if (length == 0) return "error " + std::to_string(error);
    std::wstring_view message(text, length);
    // "Access is denied.\r\n" reads "Access is denied", as the other reasons
    // of a message line do.
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' '))
        message.remove_suffix(1);
    if (message.ends_with(L'.')) message.remove_suffix(1);
    return narrow(message);
}

bool isNameTaken(int error) { return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS; }

// FAT and exFAT have no hard links (ERROR_INVALID_FUNCTION), some network
// file systems say so plainly, and NTFS takes at most 1023 names of a file.
bool takesNoHardLink(int error) {
    return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED || error == ERROR_TOO_MANY_LINKS;
}

bool closeDescriptor(int fd) { return ::_close(fd) == 0; }

std::optional<std::size_t> readSome(const FileDescriptor& file, void* into, std::size_t count) {
    DWORD got = 0;
    const auto want = static_cast<DWORD>(std::min(count, kLargestTransfer));
    if (::ReadFile(handleOf(file.get()), into, want, &got, nullptr)) return got;
    if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;  // a pipe whose writer is gone has ended
    return std::nullopt;
}

Result<std::optional<std::uintmax_t>> regularFileSize(const FileDescriptor& file) {
    const HANDLE handle = handleOf(file.get());
    if (::GetFileType(handle) != FILE_TYPE_DISK) return std::optional<std::uintmax_t>();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(handle, &size)) return lastFailure();
    return std::optional<std::uintmax_t>(static_cast<std::uintmax_t>(size.QuadPart));
}

Status flushToDevice(const FileDescriptor& file) {
    const HANDLE handle = handleOf(file.get());
    if (::GetFileType(handle) == FILE_TYPE_DISK && !::FlushFileBuffers(handle)) return lastFailure();
    return success();
}

// Appending asks for FILE_APPEND_DATA alone, so that every write goes to the
// end of the file as one piece, as O_APPEND does.
Result<FileDescriptor> openForWriting(const std::string& path, bool append) {
    const DWORD access = append ? FILE_APPEND_DATA | SYNCHRONIZE : GENERIC_WRITE;
    FileDescriptor file = adopt(::CreateFileW(systemPath(path).c_str(), access, kShareAll, nullptr,
                                              append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.isOpen()) return lastFailure();
    return file;
}

// As mkstemp, which gives up after TMP_MAX names taken.
FileDescriptor createUniqueFile(std::string& pattern) {
    for (int attempt = 0; attempt < TMP_MAX; ++attempt) {
        fillRandomName(pattern);
        const HANDLE file = ::CreateFileW(systemPath(pattern).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return adopt(file);
        if (!isNameTaken(lastError())) return FileDescriptor();
    }
    return FileDescriptor();
}

// A new file gets the permissions its folder passes on, as any new file.
Status useUsualPermissions(const FileDescriptor&) { return success(); }

// A file that another process holds open without sharing its deletion can
// neither be replaced nor have a name of it removed: found out before any
// backup of it is made, its set is refused whole and nothing is left.
Status checkReplaceable(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(systemPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return success();  // nothing there to replace
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return fail(describeError(ERROR_ACCESS_DENIED));
    if (!own(openExisting(path, DELETE))) return lastFailure();
    return success();
}

Status replaceName(const std::string& from, const std::string& to) {
    KVZ_TRY(checkReplaceable(to));
    if (renameName(from.c_str(), to.c_str()) != 0) return lastFailure();
    return success();
}

bool pathExists(const std::string& path) {
    return ::GetFileAttributesW(systemPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::size_t longestNameIn(const std::string&) { return kLongestName; }

std::string leadingName(std::string_view name, std::size_t room) {
    std::size_t end = 0;
    std::size_t units = 0;
    while (end < name.size()) {
        const auto lead = static_cast<unsigned char>(name[end]);
        const std::size_t bytes = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        const std::size_t width = bytes == 4 ? 2 : 1;  // beyond U+FFFF: a surrogate pair
        if (units + width > room) break;
        units += width;
        end = std::min(end + bytes, name.size());
    }
    return std::string(name.substr(0, end));
}

// Each folder's lock is a named mutex, "Global\kvzpack-publish-" and the
// folder's volume serial number and file index: the same for every name of
// the folder, seen by every process of the machine. A mutex needs no file,
// and it goes when its last handle closes, also when a process holding it
// ends abruptly (the next waiter then gets it as abandoned, which is taking
// it all the same), so nothing of it outlives the runs.
struct HeldMutex {
    explicit HeldMutex(OwnedHandle mutex) : handle(std::move(mutex)) {}
    HeldMutex(HeldMutex&&) = default;
    HeldMutex& operator=(HeldMutex&&) = default;
    ~HeldMutex() {
        if (handle) ::ReleaseMutex(handle.get());
    }
    OwnedHandle handle;
};

struct FolderLocks::Held {
    std::vector<HeldMutex> mutexes;
};

namespace {

std::string folderOf(const std::string& path) {
    std::string folder = path.substr(0, fileNameStart(path));
    if (folder.empty() || folder.back() == ':') folder += '.';
    return folder;
}

std::wstring mutexName(const FileIdentity& folder) {
    wchar_t name[64];
    std::swprintf(name, std::size(name), L"Global\\kvzpack-publish-%08lX-%08lX%08lX", std::get<0>(folder),
                  std::get<1>(folder), std::get<2>(folder));
    return name;
}

}  // namespace

bool lockFile(const FileDescriptor& file, bool wait) {
    OVERLAPPED whole{};
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    return ::LockFileEx(handleOf(file.get()), flags, 0, MAXDWORD, MAXDWORD, &whole) != 0;
}

// A file removed while it is open keeps its name until its last handle
// closes: it counts as named (a record lost that way only protects nothing).
bool stillNamed(const FileDescriptor&) { return true; }

std::vector<std::string> namesStartingWith(const std::string& folder, std::string_view prefix) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = systemPath(folder.empty() ? std::string("*") : folder + "*");
    const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (std::string name = narrow(found.cFileName); name.starts_with(prefix)) names.push_back(std::move(name));
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

void flushFolder(const std::string&) {}

FolderLocks::FolderLocks(std::span<const std::string> paths) : held_(std::make_unique<Held>()) {
    std::vector<FileIdentity> folders;
    for (const std::string& path : paths)
        if (const std::optional<FileIdentity> folder = identityOf(folderOf(path))) folders.push_back(*folder);
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (const FileIdentity& folder : folders) {
        OwnedHandle mutex(::CreateMutexW(nullptr, FALSE, mutexName(folder).c_str()));
        if (!mutex) continue;  // published unlocked
        const DWORD taken = ::WaitForSingleObject(mutex.get(), INFINITE);
        if (taken == WAIT_OBJECT_0 || taken == WAIT_ABANDONED) held_->mutexes.emplace_back(std::move(mutex));
    }
}

FolderLocks::~FolderLocks() = default;

void FolderLocks::release() { held_->mutexes.clear(); }

}  // namespace os

Result<FileDescriptor> openForReading(const std::string& path) {
    FileDescriptor file = adopt(openExisting(path, GENERIC_READ));
    if (!file.isOpen()) return os::lastFailure(FailureKind::cannotOpen);
    if (isFolder(handleOf(file.get()))) return fail("is a directory");
    return file;
}

Status writeAll(int fd, std::span<const std::uint8_t> bytes) {
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
        ::SetLastError(ERROR_INVALID_HANDLE);
        return os::lastFailure();
    }
    if (DWORD mode = 0; ::GetConsoleMode(handle, &mode)) return writeToConsole(handle, bytes);
    while (!bytes.empty()) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min(bytes.size(), kLargestTransfer));
        if (!::WriteFile(handle, bytes.data(), chunk, &written, nullptr)) return os::lastFailure();
        bytes = bytes.subspan(written);
    }
    return success();
}

std::size_t fileNameStart(std::string_view path) {
    const std::size_t separator = path.find_last_of("/\\:");
    return separator == std::string_view::npos ? 0 : separator + 1;
}

bool sameFile(const std::string& a, const std::string& b) {
    const std::optional<FileIdentity> first = identityOf(a);
    return first && first == identityOf(b);
}

PathKind pathKind(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(systemPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::missing : PathKind::other;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return PathKind::other;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::folder : PathKind::regular;
}

bool opensAsDevice(std::string_view path) { return isWindowsDeviceName(path); }

bool isDirectory(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesW(systemPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Windows has no reason of its own for a folder met where a file is wanted;
// its C runtime words it as POSIX does.
std::string folderReason() { return std::strerror(EISDIR); }

void removeFile(const std::string& path) { ::DeleteFileW(systemPath(path).c_str()); }

Status removeExistingFile(const std::string& path) {
    if (::DeleteFileW(systemPath(path).c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND) return success();
    return os::lastFailure();
}

int linkName(const char* from, const char* to) {
    return ::CreateHardLinkW(systemPath(to).c_str(), systemPath(from).c_str(), nullptr) ? 0 : -1;
}

int renameName(const char* from, const char* to) {
    return ::MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : -1;
}

namespace {

// "C:\Tools\kvzpack.exe" as "kvzpack": the name typed in cmd, where
// PowerShell and others hand over the whole path they found.
std::string programName(const std::string& started) {
    std::string name = started.substr(fileNameStart(started));
    if (name.size() > 4 && ::_stricmp(name.c_str() + name.size() - 4, ".exe") == 0) name.resize(name.size() - 4);
    return name;
}

}  // namespace

std::vector<std::string> commandLineArguments(int argc, char** argv) {
    int count = 0;
    const std::unique_ptr<LPWSTR, LocalFreer> arguments(::CommandLineToArgvW(::GetCommandLineW(), &count));
    std::vector<std::string> converted;
    if (arguments)
        for (int i = 0; i < count; ++i) converted.push_back(narrow(arguments.get()[i]));
    else
        converted.assign(argv, argv + argc);
    if (!converted.empty()) converted.front() = programName(converted.front());
    return converted;
}

std::ostream& standardError() {
    static StandardErrorBuffer buffer;
    static std::ostream stream(&buffer);
    stream.setf(std::ios::unitbuf);
    return stream;
}

}  // namespace kvz::io
