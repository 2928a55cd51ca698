// The image as the device reads it: the header, the packed stream of 7-bit
// values and the packed glyph area, laid out as common/layout.h says.
#include <algorithm>
#include <cstdio>
#include <string>

#include "common/layout.h"
#include "common/text.h"
#include "decode/decode.h"
#include "decode/expand_internal.h"

namespace kvz {
namespace {

constexpr std::uint32_t kAddressSpace = 0x10000;

// The 7-bit values of a packed area (a whole number of groups).
std::vector<std::uint8_t> unpack7(std::span<const std::uint8_t> packed) {
    std::vector<std::uint8_t> values(packed.size() / kPackedGroupBytes * kPackedGroupValues, 0);
    for (std::size_t group = 0; group * kPackedGroupBytes < packed.size(); ++group) {
        const std::uint8_t* bytes = packed.data() + group * kPackedGroupBytes;
        std::uint8_t* out = values.data() + group * kPackedGroupValues;
        for (std::size_t k = 0; k < kPackedGroupBytes; ++k) {
            const unsigned bit = static_cast<unsigned>(6 - k);
            for (std::size_t j = 0; j < kPackedGroupValues; ++j)
                out[j] = static_cast<std::uint8_t>(out[j] | ((bytes[k] >> j) & 1u) << bit);
        }
    }
    return values;
}

// Where a stored line stands, for messages.
struct LinePlace {
    int phrase = -1;  // phrase line j of the stream, else a text of the deck
    TextPlace text;
    std::string describe() const {
        if (phrase >= 0) return "phrase line " + std::to_string(phrase);
        return describeTextPlace(text);
    }
};

// Reads the stream's values: below the one-byte limit B a value is its byte;
// from B on it takes a second byte b1 and stands for B + (b0 - B) * 128 + b1.
class ValueReader {
public:
    explicit ValueReader(std::span<const std::uint8_t> values) : values_(values) {}

    void setLimit(std::uint8_t limit) { limit_ = limit; }
    std::size_t position() const { return at_; }
    std::size_t remaining() const { return values_.size() - at_; }

    // False when the stream ends before the value does.
    bool read(std::uint16_t& value) {
        if (at_ >= values_.size()) return false;
        const std::uint8_t first = values_[at_];
        if (first < limit_) {
            value = first;
            ++at_;
            return true;
        }
        if (at_ + 1 >= values_.size()) return false;
        value = static_cast<std::uint16_t>(limit_ + (first - limit_) * 128 + values_[at_ + 1]);
        at_ += 2;
        return true;
    }

private:
    std::span<const std::uint8_t> values_;
    std::size_t at_ = 0;
    std::uint8_t limit_ = 128;  // before the header gives B, every byte is a value
};

class StreamDecoder {
public:
    StreamDecoder(std::span<const std::uint8_t> values, DecodedImage& image)
        : reader_(values), image_(image) {}

    Status decode() {
        KVZ_TRY(readHeader());
        KVZ_TRY(readPhrases());
        KVZ_TRY(readGroups());
        KVZ_TRY(readEntries());
        image_.streamValues = reader_.position();
        return checkPadding();
    }

private:
    Failure endsInside(const std::string& what) const {
        return fail("the stream ends inside " + what + " (value " +
                    std::to_string(reader_.position()) + ")");
    }

    Result<std::uint16_t> value(const char* what) {
        std::uint16_t v = 0;
        if (!reader_.read(v)) return endsInside(what);
        return v;
    }

    Status readHeader() {
        // B - 1 lies below B, so it is one byte whatever B is.
        auto limitLess1 = value("the header");
        KVZ_TRY(limitLess1);
        image_.limit = static_cast<std::uint8_t>(*limitLess1 + 1);
        reader_.setLimit(image_.limit);
        auto codesBefore = value("the header");
        KVZ_TRY(codesBefore);
        image_.codesBefore = *codesBefore;
        auto phraseCount = value("the header");
        KVZ_TRY(phraseCount);
        if (*phraseCount > reader_.remaining() / 2)
            return fail("the header announces " + std::to_string(*phraseCount) +
                        " phrases; the stream holds " + std::to_string(reader_.remaining()) +
                        " more values");
        codeCount_ = std::uint32_t{image_.codesBefore} + *phraseCount;
        image_.phrases.resize(*phraseCount);
        return success();
    }

    // A length word n >= 1, then n codes, each a character or a phrase code.
    Status readLine(const LinePlace& place, StoredText& text) {
        std::uint16_t length = 0;
        if (!reader_.read(length)) return endsInside(place.describe());
        if (length == 0) return fail("empty text in " + place.describe());
        text.clear();
        text.reserve(std::min<std::size_t>(length, reader_.remaining()));
        for (std::uint16_t i = 0; i < length; ++i) {
            std::uint16_t code = 0;
            if (!reader_.read(code)) return endsInside(place.describe());
            if (code >= codeCount_)
                return fail(detail::unknownCodeReason("code " + std::to_string(code) + " in " + place.describe(),
                                                      image_));
            text.push_back(code);
        }
        return success();
    }

    Status readPhrases() {
        for (std::size_t j = 0; j < image_.phrases.size(); ++j) {
            KVZ_TRY(readLine(LinePlace{static_cast<int>(j), {}}, image_.phrases[j]));
        }
        return success();
    }

    Status readGroups() {
        std::uint32_t runningIndex = 0;
        for (std::size_t g = 0; g < kGroupCount; ++g) {
            DecodedGroup& group = image_.groups[g];
            const TextPlace name{static_cast<int>(g), -1, 0};
            KVZ_TRY(readLine(LinePlace{-1, name}, group.name));
            auto first = value("the group table's entry values");
            KVZ_TRY(first);
            auto count = value("the group table's entry values");
            KVZ_TRY(count);
            if (*first != runningIndex)
                return fail("group " + std::to_string(g) + " begins at entry " +
                            std::to_string(*first) + ", the groups before it hold " +
                            plural(runningIndex, "entry", "entries"));
            group.firstEntry = *first;
            group.entryCount = *count;
            runningIndex += *count;
        }
        return success();
    }

    Status readEntries() {
        std::size_t total = 0;
        for (const DecodedGroup& group : image_.groups) total += group.entryCount;
        // Every text takes at least two values (its length and one code).
        const std::size_t textsLeft = reader_.remaining() / 2;
        if (total > textsLeft / kFieldsPerEntry)
            return fail("the group table announces " + std::to_string(total) +
                        " entries; the stream holds at most " +
                        std::to_string(textsLeft / kFieldsPerEntry) + " more");
        image_.entries.resize(total);
        std::size_t index = 0;
        for (std::size_t g = 0; g < kGroupCount; ++g) {
            for (int e = 0; e < image_.groups[g].entryCount; ++e, ++index) {
                for (std::size_t f = 0; f < kFieldsPerEntry; ++f) {
                    const TextPlace place{static_cast<int>(g), e, static_cast<int>(f)};
                    KVZ_TRY(readLine(LinePlace{-1, place}, image_.entries[index][f]));
                }
            }
        }
        return success();
    }

    // Behind the texts only the zero values that complete the last group.
    Status checkPadding() {
        const std::size_t left = reader_.remaining();
        if (left >= kPackedGroupValues)
            return fail("the stream holds " + std::to_string(left) +
                        " values behind the last entry; padding is at most 7");
        for (std::size_t i = 0; i < left; ++i) {
            std::uint16_t v = 0;
            reader_.setLimit(128);
            reader_.read(v);
            if (v != 0)
                return fail("the stream's padding behind the last entry is not zero (value " +
                            std::to_string(reader_.position() - 1) + ")");
        }
        return success();
    }

    ValueReader reader_;
    DecodedImage& image_;
    std::uint32_t codeCount_ = 0;  // F + P: codes from it on name nothing
};

// How many characters texts expand to, each phrase's count found once and
// kept. A count stops growing past kLongFieldWidth, the widest field: a
// text that reaches it is too long for any field, and nothing longer is
// ever walked.
class ExpandedLengths {
public:
    explicit ExpandedLengths(const DecodedImage& image)
        : image_(image), lengths_(image.phrases.size(), 0), state_(image.phrases.size(), State::unknown) {}

    static constexpr std::uint32_t kCapped = kLongFieldWidth + 1;

    // The characters of `text`, or kCapped for more than kLongFieldWidth;
    // fails on a phrase that contains itself.
    Result<std::uint32_t> ofText(const StoredText& text) {
        std::uint32_t length = 0;
        for (const std::uint16_t code : text) {
            if (code < image_.codesBefore) {
                ++length;
            } else {
                auto phrase = ofPhrase(code - image_.codesBefore);
                KVZ_TRY(phrase);
                length += *phrase;
            }
            if (length >= kCapped) return kCapped;
        }
        return length;
    }

private:
    enum class State : std::uint8_t { unknown, open, known };
    struct Frame {
        std::size_t phrase;
        std::size_t next = 0;
        std::uint32_t length = 0;
    };

    // Phrases nest as deep as there are phrases: an explicit stack, not the
    // call stack. Every code of a text or phrase names a phrase of the
    // table (the stream's reading made sure).
    Result<std::uint32_t> ofPhrase(std::size_t root) {
        if (state_[root] == State::known) return lengths_[root];
        std::vector<Frame> frames{Frame{root}};
        state_[root] = State::open;
        std::uint32_t finished = 0;
        while (!frames.empty()) {
            Frame& top = frames.back();
            const StoredText& line = image_.phrases[top.phrase];
            if (top.next == line.size() || top.length >= kCapped) {
                finished = std::min(top.length, kCapped);
                lengths_[top.phrase] = finished;
                state_[top.phrase] = State::known;
                frames.pop_back();
                if (!frames.empty()) frames.back().length += finished;
                continue;
            }
            const std::uint16_t code = line[top.next++];
            if (code < image_.codesBefore) {
                ++top.length;
                continue;
            }
            const std::size_t phrase = code - image_.codesBefore;
            if (state_[phrase] == State::known) {
                top.length += lengths_[phrase];
            } else if (state_[phrase] == State::open) {
                return fail("phrase " + std::to_string(code) + " contains itself");
            } else {
                state_[phrase] = State::open;
                frames.push_back(Frame{phrase});
            }
        }
        return finished;
    }

    const DecodedImage& image_;
    std::vector<std::uint32_t> lengths_;
    std::vector<State> state_;
};

Status checkTextLength(ExpandedLengths& lengths, const StoredText& text, const TextPlace& place) {
    auto length = lengths.ofText(text);
    if (!length) return fail(describeTextPlace(place) + ": " + length.reason());
    const std::size_t most = maxTextCharacters(place);
    if (*length > most)
        return fail(describeTextPlace(place) + ": the text expands to more than " + std::to_string(most) +
                    " characters, more than its field of " + std::to_string(most) + " bytes holds");
    return success();
}

// Every text, in stream order, within its field; refused at the first that
// is not.
Status checkTextLengths(const DecodedImage& image) {
    ExpandedLengths lengths(image);
    for (std::size_t g = 0; g < kGroupCount; ++g)
        KVZ_TRY(checkTextLength(lengths, image.groups[g].name, TextPlace{static_cast<int>(g), -1, 0}));
    std::size_t index = 0;
    for (std::size_t g = 0; g < kGroupCount; ++g) {
        for (int e = 0; e < image.groups[g].entryCount; ++e, ++index) {
            for (std::size_t f = 0; f < kFieldsPerEntry; ++f) {
                const TextPlace place{static_cast<int>(g), e, static_cast<int>(f)};
                KVZ_TRY(checkTextLength(lengths, image.entries[index][f], place));
            }
        }
    }
    return success();
}

// The stream lies between the header and the glyph area address.
Result<std::size_t> glyphAreaOffset(std::span<const std::uint8_t> image,
                                    std::uint32_t loadAddress, std::uint16_t glyphAddress) {
    const std::size_t offset = (glyphAddress - loadAddress) % kAddressSpace;
    if (offset < kImageHeaderSize || offset > image.size())
        return fail("the glyph area address " + hex4(glyphAddress) +
                    " lies outside the image at " + hex4(loadAddress) + "-" +
                    hex4(loadAddress + static_cast<std::uint32_t>(image.size()) - 1));
    if ((offset - kImageHeaderSize) % kPackedGroupBytes != 0)
        return fail("the glyph area address " + hex4(glyphAddress) +
                    " leaves a packed stream of " + std::to_string(offset - kImageHeaderSize) +
                    " bytes, not a multiple of 7");
    if ((image.size() - offset) % kPackedGroupBytes != 0)
        return fail("the glyph area of " + std::to_string(image.size() - offset) +
                    " bytes is not a multiple of 7");
    return offset;
}

Status unpackCells(std::span<const std::uint8_t> packed, DecodedImage& image) {
    const std::vector<std::uint8_t> columns = unpack7(packed);
    const std::size_t cellCount = columns.size() / kCellWidth;
    image.cells.resize(cellCount);
    for (std::size_t i = 0; i < cellCount; ++i)
        std::copy_n(columns.begin() + static_cast<std::ptrdiff_t>(i * kCellWidth), kCellWidth,
                    image.cells[i].begin());
    const bool paddingEmpty = std::all_of(
        columns.begin() + static_cast<std::ptrdiff_t>(cellCount * kCellWidth), columns.end(),
        [](std::uint8_t column) { return column == 0; });
    if (!paddingEmpty) return fail("the glyph area's padding behind the last cell is not empty");
    image.glyphAreaBytes = packed.size();
    return success();
}

}  // namespace

Result<DecodedImage> decodeImage(std::span<const std::uint8_t> image, std::uint32_t loadAddress) {
    if (loadAddress >= kAddressSpace || image.size() > kAddressSpace - loadAddress)
        return fail("an image of " + std::to_string(image.size()) + " bytes at " +
                    hex4(loadAddress) + " reaches past FFFF");
    if (image.size() < kImageHeaderSize)
        return fail("the image has " + std::to_string(image.size()) +
                    " bytes, less than its 4-byte header");
    if (image[0] != 0 || image[1] != 0) return fail("the image's first two bytes are not zero");

    DecodedImage decoded;
    decoded.glyphAreaAddress = static_cast<std::uint16_t>(image[2] | image[3] << 8);
    auto offset = glyphAreaOffset(image, loadAddress, decoded.glyphAreaAddress);
    KVZ_TRY(offset);
    const auto packedStream = image.subspan(kImageHeaderSize, *offset - kImageHeaderSize);
    if (packedStream.empty()) return fail("the image holds no stream");

    const std::vector<std::uint8_t> values = unpack7(packedStream);
    KVZ_TRY(StreamDecoder(values, decoded).decode());
    KVZ_TRY(checkTextLengths(decoded));
    KVZ_TRY(unpackCells(image.subspan(*offset), decoded));
    return decoded;
}

std::size_t maxTextCharacters(const TextPlace& place) {
    if (place.entry < 0) return kGroupNameWidth;
    return place.field == 0 ? kLongFieldWidth : kShortFieldWidth;
}

Result<std::vector<std::uint16_t>> expandText(const DecodedImage& image, const StoredText& text) {
    std::vector<std::uint16_t> codes;
    detail::PhraseExpander expander(image);
    KVZ_TRY(expander.expand(text, codes));
    return codes;
}

}  // namespace kvz
