#include "decode/expand.h"

#include <string>

namespace kvz::detail {

PhraseExpander::PhraseExpander(const DecodedImage& image)
    : image_(image), open_(image.phrases.size(), false) {}

Status PhraseExpander::take(std::uint16_t code, std::vector<std::uint16_t>& codes) {
    if (code < image_.codesBefore) {
        if (code >= image_.cells.size())
            return fail("character code " + std::to_string(code) + " has no glyph cell (" +
                        std::to_string(image_.cells.size()) + " cells)");
        if (codes.size() >= kMaxExpandedCodes)
            return fail("the text expands to more than " + std::to_string(kMaxExpandedCodes) +
                        " codes");
        codes.push_back(code);
        return success();
    }
    const std::size_t phrase = code - image_.codesBefore;
    if (phrase >= image_.phrases.size())
        return fail("code " + std::to_string(code) + " is neither a character nor a phrase (" +
                    std::to_string(image_.codesBefore) + " characters, " +
                    std::to_string(image_.phrases.size()) + " phrases)");
    if (open_[phrase])
        return fail("phrase " + std::to_string(code) + " contains itself");
    open_[phrase] = true;
    frames_.push_back(Frame{&image_.phrases[phrase], 0, phrase});
    return success();
}

Status PhraseExpander::expand(const StoredText& text, std::vector<std::uint16_t>& codes) {
    codes.clear();
    frames_.clear();
    // An explicit stack: nesting is bounded by the number of phrases (a
    // deeper chain must repeat a phrase, which `open_` refuses), not by the
    // call stack.
    frames_.push_back(Frame{&text, 0, 0});
    Status status = success();
    while (frames_.size() > 0 && status) {
        Frame& top = frames_.back();
        if (top.next == top.text->size()) {
            if (frames_.size() > 1) open_[top.phrase] = false;
            frames_.pop_back();
            continue;
        }
        status = take((*top.text)[top.next++], codes);
    }
    // Leave no phrase marked open for the next text, also after a failure.
    for (std::size_t i = 1; i < frames_.size(); ++i) open_[frames_[i].phrase] = false;
    frames_.clear();
    return status;
}

}  // namespace kvz::detail
