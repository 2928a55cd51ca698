// What every encoding written for the device must respect, measured and
// checked on the code lines themselves.
#include <algorithm>
#include <string>
#include <vector>

#include "common/layout.h"
#include "compress/best.h"
#include "compress/best_internal.h"

namespace kvz {
namespace detail {

std::vector<std::span<const std::uint16_t>> lineBodies(std::span<const std::uint16_t> codeLines) {
    std::vector<std::span<const std::uint16_t>> bodies;
    for (std::span<const std::uint16_t> line : splitCodeLines(codeLines)) bodies.push_back(line.subspan(1));
    return bodies;
}

}  // namespace detail

namespace {

using Body = std::span<const std::uint16_t>;

struct Split {
    std::vector<Body> texts;
    std::vector<Body> phrases;
};

Result<Split> splitEncoding(const CodeLines& codeLines, const EncodingFrame& frame) {
    const auto bodies = detail::lineBodies(codeLines);
    if (bodies.size() < frame.linesBefore)
        return fail(std::to_string(bodies.size()) + " lines, fewer than the " +
                    std::to_string(frame.linesBefore) + " texts");
    Split split;
    split.texts.assign(bodies.begin(), bodies.begin() + frame.linesBefore);
    split.phrases.assign(bodies.begin() + frame.linesBefore, bodies.end());
    return split;
}

// Depth of every phrase (index = code - F), 0 for phrases not reached.
class DepthWalk {
public:
    DepthWalk(const std::vector<Body>& phrases, std::uint16_t codesBefore)
        : phrases_(phrases), codesBefore_(codesBefore), depth_(phrases.size(), 0),
          state_(phrases.size(), State::unseen) {}

    // Iterative depth-first walk from phrase `root`.
    Status visit(std::size_t root) {
        if (state_[root] == State::done) return success();
        struct Frame {
            std::size_t phrase;
            std::size_t next;
        };
        std::vector<Frame> stack{{root, 0}};
        state_[root] = State::open;
        while (!stack.empty()) {
            Frame& top = stack.back();
            const Body line = phrases_[top.phrase];
            if (top.next == line.size()) {
                std::uint32_t deepest = 0;
                for (std::uint16_t code : line)
                    if (code >= codesBefore_) deepest = std::max(deepest, depth_[code - codesBefore_]);
                depth_[top.phrase] = deepest + 1;
                state_[top.phrase] = State::done;
                stack.pop_back();
                continue;
            }
            const std::uint16_t code = line[top.next++];
            if (code < codesBefore_) continue;
            const std::size_t inner = code - codesBefore_;
            if (inner >= phrases_.size())
                return fail("phrase code " + std::to_string(code) + " has no phrase line");
            if (state_[inner] == State::open)
                return fail("phrase " + std::to_string(code) + " contains itself");
            if (state_[inner] == State::unseen) {
                state_[inner] = State::open;
                stack.push_back({inner, 0});
            }
        }
        return success();
    }

    std::uint32_t depth(std::size_t phrase) const { return depth_[phrase]; }

private:
    enum class State { unseen, open, done };
    const std::vector<Body>& phrases_;
    std::uint16_t codesBefore_;
    std::vector<std::uint32_t> depth_;
    std::vector<State> state_;
};

Result<std::uint32_t> deepestNesting(const std::vector<Body>& phrases, std::uint16_t codesBefore) {
    DepthWalk walk(phrases, codesBefore);
    std::uint32_t deepest = 0;
    for (std::size_t k = 0; k < phrases.size(); ++k) {
        KVZ_TRY(walk.visit(k));
        deepest = std::max(deepest, walk.depth(k));
    }
    return deepest;
}

// The characters (as their two code bytes) a line stands for.
using Spelled = std::vector<std::uint16_t>;

class Speller {
public:
    Speller(const CharTable& table, const std::vector<Body>& phrases, std::uint16_t codesBefore)
        : table_(table), phrases_(phrases), codesBefore_(codesBefore) {}

    // Phrases are already known to be acyclic.
    Result<Spelled> spell(Body line) const {
        Spelled out;
        std::vector<std::pair<Body, std::size_t>> stack{{line, 0}};
        while (!stack.empty()) {
            auto& [body, next] = stack.back();
            if (next == body.size()) {
                stack.pop_back();
                continue;
            }
            const std::uint16_t code = body[next++];
            if (code >= codesBefore_) {
                stack.push_back({phrases_[code - codesBefore_], 0});
                continue;
            }
            if (code >= table_.size())
                return fail("code " + std::to_string(code) + " is no character");
            out.push_back(static_cast<std::uint16_t>(table_[code].code[0] << 8 | table_[code].code[1]));
        }
        return out;
    }

private:
    const CharTable& table_;
    const std::vector<Body>& phrases_;
    std::uint16_t codesBefore_;
};

Status checkSameCharacters(const CharTable& candidate, const CharTable& standard) {
    auto keys = [](const CharTable& table) {
        std::vector<std::uint32_t> result;
        for (const CharEntry& entry : table)
            result.push_back(static_cast<std::uint32_t>(entry.code[0] << 8 | entry.code[1]) << 16 | entry.count);
        std::sort(result.begin(), result.end());
        return result;
    };
    if (keys(candidate) != keys(standard)) return fail("the character table holds other characters");
    return success();
}

Status checkPhraseLines(const std::vector<Body>& phrases) {
    for (std::size_t k = 0; k < phrases.size(); ++k)
        if (phrases[k].empty() || phrases[k].size() > kLongestPhrase)
            return fail("phrase line " + std::to_string(k) + " holds " + std::to_string(phrases[k].size()) +
                        " codes");
    return success();
}

// Every phrase is reached from a text line: then its expansion stands in
// that text.
Status checkEveryPhraseUsed(const Split& split, std::uint16_t codesBefore) {
    std::vector<bool> reached(split.phrases.size(), false);
    std::vector<std::size_t> pending;
    auto reach = [&](Body line) {
        for (std::uint16_t code : line)
            if (code >= codesBefore && !reached[code - codesBefore]) {
                reached[code - codesBefore] = true;
                pending.push_back(code - codesBefore);
            }
    };
    for (Body text : split.texts) reach(text);
    while (!pending.empty()) {
        const std::size_t k = pending.back();
        pending.pop_back();
        reach(split.phrases[k]);
    }
    for (std::size_t k = 0; k < reached.size(); ++k)
        if (!reached[k]) return fail("phrase " + std::to_string(codesBefore + k) + " is used by no text");
    return success();
}

Status checkSameTexts(const TextEncoding& candidate, const Split& ours, const TextEncoding& standard,
                      const Split& theirs, std::uint16_t codesBefore) {
    if (ours.texts.size() != theirs.texts.size()) return fail("another number of text lines");
    const Speller mine(candidate.charTable, ours.phrases, codesBefore);
    const Speller given(standard.charTable, theirs.phrases, codesBefore);
    for (std::size_t i = 0; i < ours.texts.size(); ++i) {
        auto a = mine.spell(ours.texts[i]);
        KVZ_TRY(a);
        auto b = given.spell(theirs.texts[i]);
        KVZ_TRY(b);
        if (*a != *b) return fail("text line " + std::to_string(i) + " says something else");
    }
    return success();
}

}  // namespace

std::int32_t countPhraseLines(const CodeLines& codeLines, const EncodingFrame& frame) {
    return static_cast<std::int32_t>(getLines16(codeLines)) - static_cast<std::int32_t>(frame.linesBefore);
}

std::uint8_t bestStreamLimit(std::uint32_t codeCount, const EncodingFrame& frame) {
    const std::uint8_t own = streamLimit(codeCount, frame.codesBefore);
    const std::uint8_t groups = groupTableLimit(frame.groupCounts);
    return groups >= 1 && groups < own ? groups : own;
}

Result<std::vector<std::uint8_t>> writeBestStream(const CodeLines& codeLines, const EncodingFrame& frame) {
    return encode8(codeLines, countPhraseLines(codeLines, frame), frame.codesBefore, frame.groupCounts,
                   bestStreamLimit(getCodes16(codeLines), frame));
}

Result<std::size_t> measureStream(const CodeLines& codeLines, const EncodingFrame& frame) {
    auto stream = writeBestStream(codeLines, frame);
    KVZ_TRY(stream);
    return stream->size();
}

Result<std::uint32_t> phraseNestingDepth(const CodeLines& codeLines, const EncodingFrame& frame) {
    auto split = splitEncoding(codeLines, frame);
    KVZ_TRY(split);
    return deepestNesting(split->phrases, frame.codesBefore);
}

Status checkEncodingLimits(const TextEncoding& candidate, const TextEncoding& standard,
                           const EncodingFrame& frame) {
    auto ours = splitEncoding(candidate.codeLines, frame);
    KVZ_TRY(ours);
    auto theirs = splitEncoding(standard.codeLines, frame);
    KVZ_TRY(theirs);
    if (auto same = checkSameCharacters(candidate.charTable, standard.charTable); !same) return same;
    if (auto lines = checkPhraseLines(ours->phrases); !lines) return lines;
    auto depth = deepestNesting(ours->phrases, frame.codesBefore);
    KVZ_TRY(depth);
    auto standardDepth = deepestNesting(theirs->phrases, frame.codesBefore);
    KVZ_TRY(standardDepth);
    if (*depth > *standardDepth)
        return fail("phrases nest " + std::to_string(*depth) + " deep, the default encoding " +
                    std::to_string(*standardDepth));
    for (Body text : ours->texts)
        for (std::uint16_t code : text)
            if (code >= frame.codesBefore + ours->phrases.size())
                return fail("code " + std::to_string(code) + " is neither a character nor a phrase");
    if (auto used = checkEveryPhraseUsed(*ours, frame.codesBefore); !used) return used;
    if (auto same = checkSameTexts(candidate, *ours, standard, *theirs, frame.codesBefore); !same) return same;
    KVZ_TRY(measureStream(candidate.codeLines, frame));
    return success();
}

}  // namespace kvz
