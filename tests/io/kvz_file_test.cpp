// readKvzFile and readKvzRecords on real files, FIFOs and directories.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>
#include <thread>

#include "input/kvz.h"
#include "io/format_files.h"
#include "support/fixtures.h"

// Largest single allocation while tracking is on: shows that a file that
// announces far more records than it holds costs no more memory than it holds.
namespace {
std::atomic<bool> gTrackAllocations{false};
std::atomic<std::size_t> gLargestAllocation{0};
}  // namespace

void* operator new(std::size_t size) {
    if (gTrackAllocations.load(std::memory_order_relaxed)) {
        std::size_t seen = gLargestAllocation.load();
        while (size > seen && !gLargestAllocation.compare_exchange_weak(seen, size)) {
        }
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
// Not inlined: the compiler would otherwise see free() meet operator new's
// pointers and warn about a mismatch that is none (new above uses malloc).
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace kvz {
namespace {

using testing::appendRecord;
using testing::entryRecord;
using testing::groupRecord;
using testing::TempDir;
using testing::writeFile;

std::vector<std::uint8_t> deckWithEntries(std::uint16_t count) {
    std::vector<std::uint8_t> file;
    for (int g = 0; g < 8; ++g) appendRecord(file, groupRecord("G", g == 0 ? count : 0));
    for (std::uint16_t e = 0; e < count; ++e) {
        const std::string word = std::string("w").append(std::to_string(e));
        appendRecord(file, entryRecord({word, "a", "b", "c", "d", "e"}));
    }
    return file;
}

TEST(ReadKvzFile, ReadsWhatReadKvzBytesReads) {
    const TempDir dir;
    const std::vector<std::uint8_t> bytes = deckWithEntries(3);
    writeFile(dir / "deck.kvz", bytes);
    const Result<KvzFile> fromFile = readKvzFile((dir / "deck.kvz").string());
    const Result<KvzFile> fromBytes = readKvzBytes(bytes);
    ASSERT_TRUE(fromFile.ok()) << fromFile.reason();
    ASSERT_TRUE(fromBytes.ok());
    EXPECT_EQ(fromFile->textBlock, fromBytes->textBlock);
    EXPECT_EQ(fromFile->groupCounts, fromBytes->groupCounts);
}

TEST(ReadKvzRecords, StopsAtTheLastAnnouncedRecord) {
    const TempDir dir;
    std::vector<std::uint8_t> bytes = deckWithEntries(2);
    const std::size_t announced = bytes.size();
    bytes.resize(announced + 5 * 256 + 7, 0x55);
    writeFile(dir / "deck.kvz", bytes);
    const Result<std::vector<std::uint8_t>> read = readKvzRecords((dir / "deck.kvz").string());
    ASSERT_TRUE(read.ok()) << read.reason();
    EXPECT_EQ(read->size(), announced);
}

TEST(ReadKvzFile, TruncatedFileSaysHowManyRecordsItHasAndAnnounces) {
    const TempDir dir;
    std::vector<std::uint8_t> bytes = deckWithEntries(4);
    bytes.resize(10 * 256 + 100);
    writeFile(dir / "short.kvz", bytes);
    const Result<KvzFile> read = readKvzFile((dir / "short.kvz").string());
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.reason(), "does not look like a KVZ deck: 10 records and 100 bytes, the group records announce 12");
    EXPECT_EQ(read.failureKind(), FailureKind::notADeck);
}

TEST(ReadKvzFile, HugeCountsWithFewRecordsAllocateOnlyWhatIsThere) {
    const TempDir dir;
    std::vector<std::uint8_t> bytes;
    for (int g = 0; g < 8; ++g) appendRecord(bytes, groupRecord("G", 0xFFFF));
    appendRecord(bytes, entryRecord({"a", "b", "c", "d", "e", "f"}));
    writeFile(dir / "huge.kvz", bytes);

    gLargestAllocation = 0;
    gTrackAllocations = true;
    const Result<KvzFile> read = readKvzFile((dir / "huge.kvz").string());
    gTrackAllocations = false;
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.reason(), "does not look like a KVZ deck: 9 records, the group records announce 524288");
    EXPECT_LT(gLargestAllocation.load(), std::size_t{1} << 20);
}

TEST(ReadKvzFile, MissingFileCannotBeOpened) {
    const TempDir dir;
    const Result<KvzFile> read = readKvzFile((dir / "absent.kvz").string());
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.failureKind(), FailureKind::cannotOpen);
    EXPECT_EQ(read.reason(), "No such file or directory");
}

TEST(ReadKvzFile, UnreadableFileCannotBeOpened) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    const TempDir dir;
    writeFile(dir / "locked.kvz", deckWithEntries(0));
    ::chmod((dir / "locked.kvz").c_str(), 0);
    const Result<KvzFile> read = readKvzFile((dir / "locked.kvz").string());
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.failureKind(), FailureKind::cannotOpen);
    EXPECT_EQ(read.reason(), "Permission denied");
}

TEST(ReadKvzFile, DirectoryIsRefused) {
    const TempDir dir;
    const Result<KvzFile> read = readKvzFile(dir.path().string());
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.failureKind(), FailureKind::invalid);
    EXPECT_EQ(read.reason(), "is a directory");
}

// A FIFO fed in small chunks, so that most reads return less than a record.
class FifoFeed {
public:
    FifoFeed(const std::filesystem::path& path, std::vector<std::uint8_t> bytes, std::size_t chunk)
        // O_RDWR opens the writing end at once, with no reader there yet.
        : fd_(::open(path.c_str(), O_RDWR | O_CLOEXEC)),
          writer_([this, bytes = std::move(bytes), chunk] { feed(bytes, chunk); }) {}
    ~FifoFeed() { writer_.join(); }
    bool opened() const { return fd_ >= 0; }

private:
    void feed(const std::vector<std::uint8_t>& bytes, std::size_t chunk) {
        for (std::size_t done = 0; fd_ >= 0 && done < bytes.size();) {
            const ssize_t put = ::write(fd_, bytes.data() + done, std::min(chunk, bytes.size() - done));
            if (put <= 0) break;
            done += static_cast<std::size_t>(put);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        if (fd_ >= 0) ::close(fd_);
    }
    int fd_;
    std::thread writer_;
};

TEST(ReadKvzFile, CompletesShortReadsFromAFifo) {
    const TempDir dir;
    const auto fifo = dir / "deck.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::vector<std::uint8_t> bytes = deckWithEntries(5);
    Result<KvzFile> read = fail("not read");
    {
        const FifoFeed feed(fifo, bytes, 37);
        ASSERT_TRUE(feed.opened());
        read = readKvzFile(fifo.string());
    }
    ASSERT_TRUE(read.ok()) << read.reason();
    EXPECT_EQ(read->textBlock, readKvzBytes(bytes)->textBlock);
}

TEST(ReadKvzFile, FifoWithoutWriterReadsAsEmpty) {
    const TempDir dir;
    const auto fifo = dir / "idle.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const Result<KvzFile> read = readKvzFile(fifo.string());
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.reason(), "truncated: 0 records, a KVZ file starts with 8 group records");
}

}  // namespace
}  // namespace kvz
