#include "io/temporary.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <random>
#include <string_view>

namespace kvz::io {
namespace {

constexpr std::string_view kSuffix = ".partXXXXXX";

std::size_t longestNameIn(const std::string& folder) {
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    return limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
}

}  // namespace

std::string temporaryPattern(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string folder = path.substr(0, nameStart);
    const std::size_t room = longestNameIn(folder) - kSuffix.size();
    return folder + path.substr(nameStart, room) + std::string(kSuffix);
}

std::string unusedTemporaryName(const std::string& path) {
    static constexpr std::string_view kLetters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    std::string name = temporaryPattern(path);
    for (;;) {
        std::generate(name.end() - 6, name.end(), [&] { return kLetters[pick(random)]; });
        struct stat info {};
        if (::lstat(name.c_str(), &info) != 0) return name;
    }
}

void TemporaryFiles::add(const std::string& name) {
    const std::lock_guard hold(mutex_);
    names_.push_back(name);
}

void TemporaryFiles::forget(const std::string& name) {
    const std::lock_guard hold(mutex_);
    std::erase(names_, name);
}

void TemporaryFiles::removeAll() {
    const std::lock_guard hold(mutex_);
    for (const std::string& name : names_) ::unlink(name.c_str());
    names_.clear();
}

}  // namespace kvz::io
