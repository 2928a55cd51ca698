// Publishing as one set across processes: two processes that publish
// outputs of the same names into one folder never leave a set made of both.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "io/publish.h"
#include "support/fixtures.h"

namespace kvz::io {
namespace {

namespace fs = std::filesystem;
using Contents = std::map<std::string, std::string>;

// Stages deck.ihx and deck.txt, each holding `text` and its name, and
// publishes them; 0 when published, as a child process's exit status.
int stageAndPublish(const fs::path& folder, const std::string& text, const NameOperations& operations) {
    TemporaryFiles temporaries;
    std::vector<StagedFile> files;
    for (const char* name : {"deck.ihx", "deck.txt"}) {
        auto staged = StagedFile::create((folder / name).string(), &temporaries);
        if (!staged || !staged->write(text + " " + name)) return 1;
        files.push_back(std::move(staged.value()));
    }
    return publishTogether(files, temporaries, {}, operations) ? 0 : 1;
}

template <class Body>
pid_t startChild(const Body& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    return pid;
}

int waitForChild(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The first process publishes slowly: once it has renamed its first file,
// it tells the test and waits. A second process publishing meanwhile must
// wait for the first one's set to be complete, and so leaves its own whole.
TEST(PublishTogether, ASecondProcessWaitsUntilTheFirstOnesSetIsInPlace) {
    const testing::TempDir dir;
    testing::writeFile(dir / "deck.ihx", std::string_view("older deck.ihx"));
    testing::writeFile(dir / "deck.txt", std::string_view("older deck.txt"));
    int renamed[2];
    ASSERT_EQ(::pipe(renamed), 0);
    const pid_t slow = startChild([&] {
        int renames = 0;
        NameOperations slowly;
        slowly.rename = [&](const char* from, const char* to) {
            const int result = ::rename(from, to);
            if (++renames == 1) {
                if (::write(renamed[1], "r", 1) != 1) return -1;
                ::usleep(500000);
            }
            return result;
        };
        return stageAndPublish(dir.path(), "slow", slowly);
    });
    ::close(renamed[1]);
    char byte = 0;
    ASSERT_EQ(::read(renamed[0], &byte, 1), 1) << "the slow process ended before renaming";
    ::close(renamed[0]);
    const pid_t fast = startChild([&] { return stageAndPublish(dir.path(), "fast", {}); });
    EXPECT_EQ(waitForChild(slow), 0);
    EXPECT_EQ(waitForChild(fast), 0);
    EXPECT_EQ(testing::filesIn(dir.path()), (Contents{{"deck.ihx", "fast deck.ihx"}, {"deck.txt", "fast deck.txt"}}));
}

}  // namespace
}  // namespace kvz::io
