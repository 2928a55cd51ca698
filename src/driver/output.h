// Output files that appear complete or not at all: each is written to a
// temporary file in its folder and renamed into place on commit.
#pragma once

#include <string>
#include <vector>

#include "common/result.h"

namespace kvz {

class StagedFile {
public:
    // Creates the temporary file beside `path`.
    static Result<StagedFile> create(const std::string& path);
    StagedFile(StagedFile&& other) noexcept;
    StagedFile& operator=(StagedFile&&) = delete;
    StagedFile(const StagedFile&) = delete;
    ~StagedFile();  // removes the temporary file unless committed

    const std::string& temporaryPath() const { return temporary_; }
    const std::string& path() const { return path_; }
    // Renames the temporary file to the final name.
    Status commit();

private:
    StagedFile(std::string path, std::string temporary);
    std::string path_;
    std::string temporary_;
    bool pending_ = true;
};

// True when both names lead to the same existing file.
bool sameFile(const std::string& a, const std::string& b);

}  // namespace kvz
