#include "support/fixtures.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <stdexcept>
#include <system_error>

namespace kvz::testing {
namespace {

constexpr std::size_t kRecordBytes = 256;
constexpr std::array<std::size_t, 6> kFieldWidths{116, 28, 28, 28, 28, 28};

void appendPadded(std::vector<std::uint8_t>& record, std::string_view text, std::size_t width,
                  std::uint8_t pad) {
    const std::size_t used = std::min(text.size(), width);
    record.insert(record.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(used));
    record.insert(record.end(), width - used, pad);
}

}  // namespace

std::vector<std::uint8_t> groupRecord(std::string_view name, std::uint16_t count) {
    std::vector<std::uint8_t> record;
    appendPadded(record, name, 16, 0x20);
    record.push_back(0);
    record.push_back(0);
    record.push_back(static_cast<std::uint8_t>(count & 0xFF));
    record.push_back(static_cast<std::uint8_t>(count >> 8));
    record.resize(kRecordBytes, 0x20);
    return record;
}

std::vector<std::uint8_t> entryRecord(const std::array<std::string_view, 6>& fields) {
    std::vector<std::uint8_t> record;
    // 0xA0 before inversion: the padding is stored as 0x20.
    for (std::size_t f = 0; f < fields.size(); ++f) appendPadded(record, fields[f], kFieldWidths[f], 0xA0);
    for (std::uint8_t& byte : record) byte ^= 0x80;
    return record;
}

void appendRecord(std::vector<std::uint8_t>& file, const std::vector<std::uint8_t>& record) {
    file.insert(file.end(), record.begin(), record.end());
}

std::vector<std::uint8_t> randomKanjiDeck(const std::array<std::uint16_t, 8>& counts, std::size_t longKanji,
                                          std::size_t shortKanji) {
    std::vector<std::uint8_t> deck;
    for (std::size_t g = 0; g < counts.size(); ++g)
        appendRecord(deck, groupRecord(std::string{'G', static_cast<char>('0' + g)}, counts[g]));
    std::uint32_t state = 7;
    const auto text = [&state](std::size_t kanji) {
        std::string out;
        for (std::size_t k = 0; k < kanji; ++k) {
            state = state * 1103515245u + 12345u;
            const unsigned code = (state >> 8) % (23 * 188), trail = code % 188;
            out += static_cast<char>(0x89 + code / 188);
            out += static_cast<char>(0x40 + (trail < 63 ? trail : trail + 1));
        }
        return out;
    };
    for (const std::uint16_t count : counts)
        for (std::uint16_t e = 0; e < count; ++e) {
            const std::array<std::string, 6> texts{text(longKanji),  text(shortKanji), text(shortKanji),
                                                   text(shortKanji), text(shortKanji), text(shortKanji)};
            appendRecord(deck, entryRecord({texts[0], texts[1], texts[2], texts[3], texts[4], texts[5]}));
        }
    return deck;
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvztest.XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "mkdtemp");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::uint8_t> readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readFileText(const std::filesystem::path& path) {
    const std::vector<std::uint8_t> bytes = readFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + path.string());
}

void writeFile(const std::filesystem::path& path, std::string_view text) {
    writeFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::vector<std::string> splitLines(std::string_view text, std::string_view lineEnd) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(lineEnd, at);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(at, end - at));
        at = end + lineEnd.size();
    }
    return lines;
}

std::filesystem::path sourcePath(const std::string& relative) {
    return std::filesystem::path(KVZPACK_SOURCE_DIR) / relative;
}

std::vector<std::uint8_t> bundledDeckBytes(const std::string& fileName) {
    return readFileBytes(sourcePath("examples/" + fileName));
}

std::string bundledDeckName(const std::string& fileName) { return fileName.substr(0, fileName.find('.')); }

std::vector<std::uint8_t> repeatedEntries(const std::vector<std::uint8_t>& deck, int copies, std::uint32_t seed) {
    constexpr std::size_t kGroups = 8;
    if (deck.size() < kGroups * kRecordBytes) throw std::runtime_error("not a deck: fewer than 8 records");
    std::vector<std::uint8_t> result(deck.begin(), deck.begin() + kGroups * kRecordBytes);
    std::size_t entries = 0;
    for (std::size_t g = 0; g < kGroups; ++g) {
        std::uint8_t* count = result.data() + g * kRecordBytes + 18;
        const auto once = static_cast<std::size_t>(count[0] | count[1] << 8);
        const std::size_t repeated = once * static_cast<std::size_t>(copies);
        if (repeated > 0xFFFF) throw std::runtime_error("too many entries in a group");
        entries += once;
        count[0] = static_cast<std::uint8_t>(repeated & 0xFF);
        count[1] = static_cast<std::uint8_t>(repeated >> 8);
    }
    if (deck.size() < (kGroups + entries) * kRecordBytes) throw std::runtime_error("not a deck: entries missing");
    std::vector<std::size_t> order;
    for (int copy = 0; copy < copies; ++copy)
        for (std::size_t e = 0; e < entries; ++e) order.push_back(e);
    // Fisher-Yates on mt19937's own numbers, whose sequence the standard fixes
    // (std::shuffle's use of them is left to the library).
    std::mt19937 random(seed);
    for (std::size_t i = order.size(); i > 1; --i) std::swap(order[i - 1], order[random() % i]);
    for (std::size_t e : order) {
        const auto record = deck.begin() + static_cast<std::ptrdiff_t>((kGroups + e) * kRecordBytes);
        result.insert(result.end(), record, record + kRecordBytes);
    }
    return result;
}

std::vector<std::uint8_t> manyKanjiDeck(std::size_t cards, std::size_t kanji, std::uint32_t seed) {
    constexpr std::size_t kMeaningWords = 400;
    if (cards > 0xFFFF) throw std::runtime_error("too many cards for one group");
    std::vector<std::string> pool;
    for (unsigned lead = 0x88, trail = 0x9F; pool.size() < kanji; ++trail) {
        if (trail == 0x7F) continue;
        if (trail > 0xFC) {
            ++lead;
            trail = 0x3F;
            continue;
        }
        pool.push_back(std::string{static_cast<char>(lead), static_cast<char>(trail)});
    }
    std::mt19937 random(seed);
    const auto below = [&random](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const auto hiragana = [&] {
        return std::string{static_cast<char>(0x82), static_cast<char>(0x9F + below(83))};
    };
    std::vector<std::string> words(kMeaningWords);
    for (std::string& letters : words)
        for (std::size_t k = 3 + below(6); k > 0; --k) letters += static_cast<char>('a' + below(26));
    const auto word = [&] { return words[below(words.size())]; };
    constexpr std::array<const char*, 4> kPartsOfSpeech{"n", "v", "adj", "adv"};
    std::vector<std::uint8_t> deck;
    for (std::size_t g = 0; g < 8; ++g)
        appendRecord(deck, groupRecord("KANJI" + std::to_string(g + 1), static_cast<std::uint16_t>((cards + 7 - g) / 8)));
    for (std::size_t c = 0; c < cards; ++c) {
        std::string written = pool[c % pool.size()];
        if (below(2) == 1) written += pool[below(pool.size())];
        std::string reading;
        for (std::size_t k = 2 + below(4); k > 0; --k) reading += hiragana();
        std::string meaning = word();
        for (std::size_t more = below(3); more > 0; --more) meaning.append(" ").append(word());
        const std::string strokes = std::to_string(1 + below(20));
        std::string level = std::to_string(1 + below(5));
        level.insert(level.begin(), 'N');
        appendRecord(deck, entryRecord({meaning, written, reading, kPartsOfSpeech[below(4)], strokes, level}));
    }
    return deck;
}

std::filesystem::path kvzpackBinary() { return KVZPACK_BINARY; }
std::filesystem::path kvzdeckBinary() { return KVZDECK_BINARY; }

std::string withoutProgress(const std::string& err) {
    return std::regex_replace(err, std::regex(R"(\[\d{3}\]\r)"), "");
}

std::map<std::string, std::string> filesIn(const std::filesystem::path& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        contents[entry.path().filename().string()] =
            entry.is_directory() ? std::string("<folder>") : readFileText(entry.path());
    return contents;
}

StartedProgram startProgram(const std::vector<std::string>& argv, const std::filesystem::path& workdir,
                            const std::filesystem::path& standardOutput,
                            const std::vector<std::string>& environment) {
    // Output goes to files, so that a chatty child can never block on a full pipe.
    StartedProgram program;
    program.capture = std::make_unique<TempDir>();
    const std::filesystem::path outPath = standardOutput.empty() ? *program.capture / "out" : standardOutput;
    const std::filesystem::path errPath = *program.capture / "err";
    program.pid = ::fork();
    if (program.pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
    if (program.pid == 0) {
        const int in = ::open("/dev/null", O_RDONLY);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
            ::dup2(err, 2) < 0) {
            ::_exit(126);
        }
        if (!workdir.empty() && ::chdir(workdir.c_str()) != 0) ::_exit(126);
        for (const std::string& variable : environment) {
            const std::size_t equals = variable.find('=');
            if (::setenv(variable.substr(0, equals).c_str(), variable.substr(equals + 1).c_str(), 1) != 0)
                ::_exit(126);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    return program;
}

ProcessResult finishProgram(StartedProgram& program) {
    int status = 0;
    while (::waitpid(program.pid, &status, 0) < 0) {
        if (errno != EINTR) throw std::system_error(errno, std::generic_category(), "waitpid");
    }
    ProcessResult result;
    result.signalled = WIFSIGNALED(status);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (std::filesystem::exists(*program.capture / "out")) result.out = readFileText(*program.capture / "out");
    result.err = readFileText(*program.capture / "err");
    return result;
}

ProcessResult runProgram(const std::vector<std::string>& argv, const std::filesystem::path& workdir) {
    StartedProgram program = startProgram(argv, workdir);
    return finishProgram(program);
}

}  // namespace kvz::testing
