// Fixture helpers shared by the tests: decks from readable TSV, raw KVZ
// records, temporary directories, files and child processes.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "input/kvz.h"

namespace kvz::testing {

// A KVZ file built by kvzdeck from its TSV layout (see doc/deck-format.md);
// throws std::runtime_error with kvzdeck's reason when the TSV is refused.
std::vector<std::uint8_t> deckFromTsv(std::string_view tsv);

// A KVZ file's bytes read as a deck; throws std::runtime_error with the
// reader's reason when they are refused.
KvzFile kvzFileOf(const std::vector<std::uint8_t>& bytes);

// The Shift_JIS (CP932) bytes of a UTF-8 text, character by character as
// kvzdeck's CP932 table gives them (none of kvzdeck's own mappings); throws
// std::runtime_error when a character has no Shift_JIS form.
std::string sjis(std::string_view utf8);

// Raw records, for files the deck tool would refuse to build. Texts are
// Shift_JIS bytes. A group record: the name padded with 0x20 to 16 bytes,
// bytes 16-17 zero, the count at 18-19 (little-endian), the rest 0x20.
std::vector<std::uint8_t> groupRecord(std::string_view name, std::uint16_t count);
// An entry record: six fields (long, short 1-5) padded with spaces to their
// widths, every byte stored with its top bit inverted. Texts longer than the
// field are cut.
std::vector<std::uint8_t> entryRecord(const std::array<std::string_view, 6>& fields);
// Appends `record` to `file`.
void appendRecord(std::vector<std::uint8_t>& file, const std::vector<std::uint8_t>& record);

// A deck whose group g holds counts[g] entries, each long field
// `longKanji` and each short field `shortKanji` kanji drawn at random (the
// same on every call) from the 4324 codes of the leads 0x89 to 0x9F.
std::vector<std::uint8_t> randomKanjiDeck(const std::array<std::uint16_t, 8>& counts, std::size_t longKanji,
                                          std::size_t shortKanji);

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Whole-file helpers; they throw std::runtime_error on failure.
std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path);
std::string readFileText(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
void writeFile(const std::filesystem::path& path, std::string_view text);

// Every entry of `folder` (not of its subfolders) by name, with the contents
// of each file; a folder's contents read "<folder>".
std::map<std::string, std::string> filesIn(const std::filesystem::path& folder);

// The lines of a text, without the `lineEnd` that ends each; a last line
// end ends the last line and starts none, and text after it is a last line.
std::vector<std::string> splitLines(std::string_view text, std::string_view lineEnd = "\n");

// Standard error without the phrase search's "[nnn]\r" progress lines.
std::string withoutProgress(const std::string& err);

// A path inside the source tree, e.g. sourcePath("examples/example.kvz").
std::filesystem::path sourcePath(const std::string& relative);

// The bundled example decks, for tests run on each of them: their bytes, and
// their names without ".kvz" to name the test cases.
inline constexpr std::array<const char*, 3> kBundledDecks{"example.kvz", "sample.kvz", "large.kvz"};
std::vector<std::uint8_t> bundledDeckBytes(const std::string& fileName);
std::string bundledDeckName(const std::string& fileName);

// Real entries repeated and shuffled: the KVZ file `deck` with every entry
// record `copies` times, all of them in one order drawn with `seed` (the
// same on every machine), each group's count multiplied by `copies` (at most
// 65535). For decks of many repeats, such as four copies of
// examples/large.kvz (89% of the device with --best).
std::vector<std::uint8_t> repeatedEntries(const std::vector<std::uint8_t>& deck, int copies, std::uint32_t seed);

// A vocabulary table of many kanji, in 8 groups of about the same count
// (named "KANJI1" to "KANJI8", group g holding the g-th eighth of the cards
// in order): card c's word is the c-th of the first `kanji` JIS
// level 1 kanji (taken in turn, from 0x889F on), half of the words with a
// second kanji at random; its reading two to five random hiragana, its
// meaning one to three words drawn from 400 made of three to eight random
// lower-case letters, then
// a part of speech, a stroke count and a level. Drawn with `seed` (the same
// on every machine). At 1500 kanji the image passes the device near 2700
// cards.
std::vector<std::uint8_t> manyKanjiDeck(std::size_t cards, std::size_t kanji, std::uint32_t seed);

// The built programs.
std::filesystem::path kvzpackBinary();
std::filesystem::path kvzdeckBinary();

struct ProcessResult {
    int exitStatus = -1;     // the exit status, or 128 + signal number
    bool signalled = false;  // ended by a signal rather than by exiting
    std::string out;         // standard output
    std::string err;         // standard error
};
// Runs argv[0] with the arguments argv[1..] in `workdir` (the current
// directory when empty), standard input from /dev/null, and collects its
// output.
ProcessResult runProgram(const std::vector<std::string>& argv,
                         const std::filesystem::path& workdir = {});

// The same in two steps, for tests that act on the running child: its
// standard output goes to `standardOutput` when given (e.g. /dev/full), and
// `environment` ("NAME=VALUE" each) is added to the environment it inherits.
struct StartedProgram {
    pid_t pid = -1;
    std::unique_ptr<TempDir> capture;  // where standard output and error are collected
};
StartedProgram startProgram(const std::vector<std::string>& argv, const std::filesystem::path& workdir = {},
                            const std::filesystem::path& standardOutput = {},
                            const std::vector<std::string>& environment = {});
ProcessResult finishProgram(StartedProgram& program);

}  // namespace kvz::testing
