#include "io/temporary.h"

#include <algorithm>
#include <random>
#include <string_view>

#include "io/io.h"
#include "io/system_internal.h"

namespace kvz::io {
namespace {

constexpr std::string_view kSuffix = ".partXXXXXX";

}  // namespace

std::string temporaryPattern(const std::string& path) {
    const std::size_t nameStart = fileNameStart(path);
    const std::string folder = path.substr(0, nameStart);
    const std::size_t room = os::longestNameIn(folder) - kSuffix.size();
    return folder + os::leadingName(std::string_view(path).substr(nameStart), room) + std::string(kSuffix);
}

void fillRandomName(std::string& pattern) {
    static constexpr std::string_view kLetters =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    std::generate(pattern.end() - 6, pattern.end(), [&] { return kLetters[pick(random)]; });
}

std::string unusedTemporaryName(const std::string& path) {
    std::string name = temporaryPattern(path);
    for (;;) {
        fillRandomName(name);
        if (!os::pathExists(name)) return name;
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
    for (const std::string& name : names_) removeFile(name);
    names_.clear();
}

}  // namespace kvz::io
