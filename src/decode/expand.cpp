#include "decode/expand_internal.h"

#include <string>

#include "common/text.h"

namespace kvz::detail {

std::string unknownCodeReason(const std::string& code, const DecodedImage& image) {
    return code + " is neither a character nor a phrase (" + plural(image.codesBefore, "character", "characters") +
           ", " + plural(image.phrases.size(), "phrase", "phrases") + ")";
}

PhraseExpander::PhraseExpander(const DecodedImage& image)
    : image_(image), open_(image.phrases.size(), false) {}

std::string PhraseExpander::refusal(std::uint16_t code, std::size_t expandedSoFar) const {
    if (code < image_.codesBefore) {
        if (code >= image_.cells.size())
            return "character code " + std::to_string(code) + " has no glyph cell (" +
                   std::to_string(image_.cells.size()) + " cells)";
        if (expandedSoFar >= kMaxExpandedCodes)
            return "the text expands to more than " + std::to_string(kMaxExpandedCodes) +
                   " characters";
        return {};
    }
    const std::size_t phrase = code - image_.codesBefore;
    if (phrase >= image_.phrases.size())
        return unknownCodeReason("code " + std::to_string(code), image_);
    if (open_[phrase]) return "phrase " + std::to_string(code) + " contains itself";
    return {};
}

Failure PhraseExpander::abandon(std::string reason) {
    for (std::size_t i = 1; i < frames_.size(); ++i) open_[frames_[i].phrase] = false;
    frames_.clear();
    return fail(std::move(reason));
}

Status PhraseExpander::expand(const StoredText& text, std::vector<std::uint16_t>& codes) {
    codes.clear();
    frames_.clear();
    // An explicit stack: nesting is bounded by the number of phrases (a
    // deeper chain must repeat a phrase, which `open_` refuses), not by the
    // call stack.
    frames_.push_back(Frame{&text, 0, 0});
    const std::uint16_t codesBefore = image_.codesBefore;
    const std::size_t cellCount = image_.cells.size();
    while (!frames_.empty()) {
        Frame& top = frames_.back();
        if (top.next == top.text->size()) {
            if (frames_.size() > 1) open_[top.phrase] = false;
            frames_.pop_back();
            continue;
        }
        const std::uint16_t code = (*top.text)[top.next++];
        if (code < codesBefore && code < cellCount && codes.size() < kMaxExpandedCodes) {
            codes.push_back(code);
            continue;
        }
        if (std::string reason = refusal(code, codes.size()); !reason.empty())
            return abandon(std::move(reason));
        const std::size_t phrase = code - codesBefore;
        open_[phrase] = true;
        frames_.push_back(Frame{&image_.phrases[phrase], 0, phrase});
    }
    return success();
}

}  // namespace kvz::detail
