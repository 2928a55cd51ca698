// Phrase expansion shared by expandText and verifyImage.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"
#include "decode/decode.h"

namespace kvz::detail {

// "CODE is neither a character nor a phrase (N characters, M phrases)", for
// a code beyond those of `image`; `code` is told as the caller describes it.
std::string unknownCodeReason(const std::string& code, const DecodedImage& image);

// Expands stored texts of one decoded image into character codes. Keeps its
// bookkeeping between calls, so that expanding every text of an image costs
// only the expanded lengths.
class PhraseExpander {
public:
    explicit PhraseExpander(const DecodedImage& image);

    // Replaces `codes` with the character codes `text` stands for.
    Status expand(const StoredText& text, std::vector<std::uint16_t>& codes);

private:
    struct Frame {
        const StoredText* text;
        std::size_t next;
        std::size_t phrase;  // the phrase being expanded; unused for the text itself
    };

    // Why `code` cannot be taken, or an empty reason when it can.
    std::string refusal(std::uint16_t code, std::size_t expandedSoFar) const;
    // Ends an expansion that failed, leaving no phrase marked open.
    Failure abandon(std::string reason);

    const DecodedImage& image_;
    // The phrases being expanded: a phrase met again while it is open is a cycle.
    std::vector<bool> open_;
    std::vector<Frame> frames_;
};

}  // namespace kvz::detail
