// replaceChar and its table.
#include <array>

#include "input/kvz.h"
#include "input/replacement.h"

namespace kvz {
namespace {

constexpr std::array<ReplacementRow, kReplacementRowCount> kTable{{
    {"\x81\x5B", "\x81\x7C"},  // 0: ー -> －
    {"\x21", "\x81\x49"},  // 1: ! -> ！
    {"\x22", "\x81\x68"},  // 2: " -> ”
    {"\x23", "\x81\x94"},  // 3: # -> ＃
    {"\x24", "\x81\x90"},  // 4: $ -> ＄
    {"\x25", "\x81\x93"},  // 5: % -> ％
    {"\x26", "\x81\x95"},  // 6: & -> ＆
    {"\x27", "\x81\x66"},  // 7: ' -> ’
    {"\x28", "\x81\x69"},  // 8: ( -> （
    {"\x29", "\x81\x6A"},  // 9: ) -> ）
    {"\x2A", "\x81\x96"},  // 10: * -> ＊
    {"\x2B", "\x81\x7B"},  // 11: + -> ＋
    {"\x2C", "\x81\x43"},  // 12: , -> ，
    {"\x2D", "\x81\x7C"},  // 13: - -> －
    {"\x2E", "\x81\x44"},  // 14: . -> ．
    {"\x2F", "\x81\x5E"},  // 15: / -> ／
    {"\x30", "\x82\x4F"},  // 16: 0 -> ０
    {"\x31", "\x82\x50"},  // 17: 1 -> １
    {"\x32", "\x82\x51"},  // 18: 2 -> ２
    {"\x33", "\x82\x52"},  // 19: 3 -> ３
    {"\x34", "\x82\x53"},  // 20: 4 -> ４
    {"\x35", "\x82\x54"},  // 21: 5 -> ５
    {"\x36", "\x82\x55"},  // 22: 6 -> ６
    {"\x37", "\x82\x56"},  // 23: 7 -> ７
    {"\x38", "\x82\x57"},  // 24: 8 -> ８
    {"\x39", "\x82\x58"},  // 25: 9 -> ９
    {"\x3A", "\x81\x46"},  // 26: : -> ：
    {"\x3B", "\x81\x47"},  // 27: ; -> ；
    {"\x3C", "\x81\x83"},  // 28: < -> ＜
    {"\x3D", "\x81\x81"},  // 29: = -> ＝
    {"\x3E", "\x81\x84"},  // 30: > -> ＞
    {"\x3F", "\x81\x48"},  // 31: ? -> ？
    {"\x40", "\x81\x97"},  // 32: @ -> ＠
    {"\x41", "\x82\x60"},  // 33: A -> Ａ
    {"\x42", "\x82\x61"},  // 34: B -> Ｂ
    {"\x43", "\x82\x62"},  // 35: C -> Ｃ
    {"\x44", "\x82\x63"},  // 36: D -> Ｄ
    {"\x45", "\x82\x64"},  // 37: E -> Ｅ
    {"\x46", "\x82\x65"},  // 38: F -> Ｆ
    {"\x47", "\x82\x66"},  // 39: G -> Ｇ
    {"\x48", "\x82\x67"},  // 40: H -> Ｈ
    {"\x49", "\x82\x68"},  // 41: I -> Ｉ
    {"\x4A", "\x82\x69"},  // 42: J -> Ｊ
    {"\x4B", "\x82\x6A"},  // 43: K -> Ｋ
    {"\x4C", "\x82\x6B"},  // 44: L -> Ｌ
    {"\x4D", "\x82\x6C"},  // 45: M -> Ｍ
    {"\x4E", "\x82\x6D"},  // 46: N -> Ｎ
    {"\x4F", "\x82\x6E"},  // 47: O -> Ｏ
    {"\x50", "\x82\x6F"},  // 48: P -> Ｐ
    {"\x51", "\x82\x70"},  // 49: Q -> Ｑ
    {"\x52", "\x82\x71"},  // 50: R -> Ｒ
    {"\x53", "\x82\x72"},  // 51: S -> Ｓ
    {"\x54", "\x82\x73"},  // 52: T -> Ｔ
    {"\x55", "\x82\x74"},  // 53: U -> Ｕ
    {"\x56", "\x82\x75"},  // 54: V -> Ｖ
    {"\x57", "\x82\x76"},  // 55: W -> Ｗ
    {"\x58", "\x82\x77"},  // 56: X -> Ｘ
    {"\x59", "\x82\x78"},  // 57: Y -> Ｙ
    {"\x5A", "\x82\x79"},  // 58: Z -> Ｚ
    {"\x5B", "\x81\x6D"},  // 59: [ -> ［
    {"\x5C", "\x81\x8F"},  // 60: backslash -> ￥
    {"\x5D", "\x81\x6E"},  // 61: ] -> ］
    {"\x5E", "\x81\x4F"},  // 62: ^ -> ＾
    {"\x5F", "\x81\x51"},  // 63: _ -> ＿
    {"\x60", "\x81\x65"},  // 64: ` -> ‘
    {"\x61", "\x82\x81"},  // 65: a -> ａ
    {"\x62", "\x82\x82"},  // 66: b -> ｂ
    {"\x63", "\x82\x83"},  // 67: c -> ｃ
    {"\x64", "\x82\x84"},  // 68: d -> ｄ
    {"\x65", "\x82\x85"},  // 69: e -> ｅ
    {"\x66", "\x82\x86"},  // 70: f -> ｆ
    {"\x67", "\x82\x87"},  // 71: g -> ｇ
    {"\x68", "\x82\x88"},  // 72: h -> ｈ
    {"\x69", "\x82\x89"},  // 73: i -> ｉ
    {"\x6A", "\x82\x8A"},  // 74: j -> ｊ
    {"\x6B", "\x82\x8B"},  // 75: k -> ｋ
    {"\x6C", "\x82\x8C"},  // 76: l -> ｌ
    {"\x6D", "\x82\x8D"},  // 77: m -> ｍ
    {"\x6E", "\x82\x8E"},  // 78: n -> ｎ
    {"\x6F", "\x82\x8F"},  // 79: o -> ｏ
    {"\x70", "\x82\x90"},  // 80: p -> ｐ
    {"\x71", "\x82\x91"},  // 81: q -> ｑ
    {"\x72", "\x82\x92"},  // 82: r -> ｒ
    {"\x73", "\x82\x93"},  // 83: s -> ｓ
    {"\x74", "\x82\x94"},  // 84: t -> ｔ
    {"\x75", "\x82\x95"},  // 85: u -> ｕ
    {"\x76", "\x82\x96"},  // 86: v -> ｖ
    {"\x77", "\x82\x97"},  // 87: w -> ｗ
    {"\x78", "\x82\x98"},  // 88: x -> ｘ
    {"\x79", "\x82\x99"},  // 89: y -> ｙ
    {"\x7A", "\x82\x9A"},  // 90: z -> ｚ
    {"\x7B", "\x81\x6F"},  // 91: { -> ｛
    {"\x7C", "\x81\x62"},  // 92: | -> ｜
    {"\x7D", "\x81\x70"},  // 93: } -> ｝
    {"\x7E", "\x81\x60"},  // 94: ~ -> ～
    {"\xA1", "\x81\x42"},  // 95: ｡ -> 。
    {"\xA2", "\x81\x75"},  // 96: ｢ -> 「
    {"\xA3", "\x81\x76"},  // 97: ｣ -> 」
    {"\xA4", "\x81\x41"},  // 98: ､ -> 、
    {"\xA5", "\x81\x45"},  // 99: ･ -> ・
    {"\xA6", "\x83\x92"},  // 100: ｦ -> ヲ
    {"\xA7", "\x83\x40"},  // 101: ｧ -> ァ
    {"\xA8", "\x83\x42"},  // 102: ｨ -> ィ
    {"\xA9", "\x83\x44"},  // 103: ｩ -> ゥ
    {"\xAA", "\x83\x46"},  // 104: ｪ -> ェ
    {"\xAB", "\x83\x48"},  // 105: ｫ -> ォ
    {"\xAC", "\x83\x83"},  // 106: ｬ -> ャ
    {"\xAD", "\x83\x85"},  // 107: ｭ -> ュ
    {"\xAE", "\x83\x87"},  // 108: ｮ -> ョ
    {"\xAF", "\x83\x62"},  // 109: ｯ -> ッ
    {"\xB0", "\x81\x7C"},  // 110: ｰ -> －
    {"\xB1", "\x83\x41"},  // 111: ｱ -> ア
    {"\xB2", "\x83\x43"},  // 112: ｲ -> イ
    {"\xB3", "\x83\x45"},  // 113: ｳ -> ウ
    {"\xB4", "\x83\x47"},  // 114: ｴ -> エ
    {"\xB5", "\x83\x49"},  // 115: ｵ -> オ
    {"\xB6", "\x83\x4A"},  // 116: ｶ -> カ
    {"\xB7", "\x83\x4C"},  // 117: ｷ -> キ
    {"\xB8", "\x83\x4E"},  // 118: ｸ -> ク
    {"\xB9", "\x83\x50"},  // 119: ｹ -> ケ
    {"\xBA", "\x83\x52"},  // 120: ｺ -> コ
    {"\xBB", "\x83\x54"},  // 121: ｻ -> サ
    {"\xBC", "\x83\x56"},  // 122: ｼ -> シ
    {"\xBD", "\x83\x58"},  // 123: ｽ -> ス
    {"\xBE", "\x83\x5A"},  // 124: ｾ -> セ
    {"\xBF", "\x83\x5C"},  // 125: ｿ -> ソ
    {"\xC0", "\x83\x5E"},  // 126: ﾀ -> タ
    {"\xC1", "\x83\x60"},  // 127: ﾁ -> チ
    {"\xC2", "\x83\x63"},  // 128: ﾂ -> ツ
    {"\xC3", "\x83\x65"},  // 129: ﾃ -> テ
    {"\xC4", "\x83\x67"},  // 130: ﾄ -> ト
    {"\xC5", "\x83\x69"},  // 131: ﾅ -> ナ
    {"\xC6", "\x83\x6A"},  // 132: ﾆ -> ニ
    {"\xC7", "\x83\x6B"},  // 133: ﾇ -> ヌ
    {"\xC8", "\x83\x6C"},  // 134: ﾈ -> ネ
    {"\xC9", "\x83\x6D"},  // 135: ﾉ -> ノ
    {"\xCA", "\x83\x6E"},  // 136: ﾊ -> ハ
    {"\xCB", "\x83\x71"},  // 137: ﾋ -> ヒ
    {"\xCC", "\x83\x74"},  // 138: ﾌ -> フ
    {"\xCD", "\x83\x77"},  // 139: ﾍ -> ヘ
    {"\xCE", "\x83\x7A"},  // 140: ﾎ -> ホ
    {"\xCF", "\x83\x7D"},  // 141: ﾏ -> マ
    {"\xD0", "\x83\x7E"},  // 142: ﾐ -> ミ
    {"\xD1", "\x83\x80"},  // 143: ﾑ -> ム
    {"\xD2", "\x83\x81"},  // 144: ﾒ -> メ
    {"\xD3", "\x83\x82"},  // 145: ﾓ -> モ
    {"\xD4", "\x83\x84"},  // 146: ﾔ -> ヤ
    {"\xD5", "\x83\x86"},  // 147: ﾕ -> ユ
    {"\xD6", "\x83\x88"},  // 148: ﾖ -> ヨ
    {"\xD7", "\x83\x89"},  // 149: ﾗ -> ラ
    {"\xD8", "\x83\x8A"},  // 150: ﾘ -> リ
    {"\xD9", "\x83\x8B"},  // 151: ﾙ -> ル
    {"\xDA", "\x83\x8C"},  // 152: ﾚ -> レ
    {"\xDB", "\x83\x8D"},  // 153: ﾛ -> ロ
    {"\xDC", "\x83\x8F"},  // 154: ﾜ -> ワ
    {"\xDD", "\x83\x93"},  // 155: ﾝ -> ン
    {"\xDE", "\x81\x4A"},  // 156: ﾞ -> ゛
    {"\xDF", "\x81\x4B"},  // 157: ﾟ -> ゜
    {"\x83\x4B", "\x83\x4A\x81\x4A"},  // 158: ガ -> カ゛
    {"\x83\x4D", "\x83\x4C\x81\x4A"},  // 159: ギ -> キ゛
    {"\x83\x4F", "\x83\x4E\x81\x4A"},  // 160: グ -> ク゛
    {"\x83\x51", "\x83\x50\x81\x4A"},  // 161: ゲ -> ケ゛
    {"\x83\x53", "\x83\x52\x81\x4A"},  // 162: ゴ -> コ゛
    {"\x83\x55", "\x83\x54\x81\x4A"},  // 163: ザ -> サ゛
    {"\x83\x57", "\x83\x56\x81\x4A"},  // 164: ジ -> シ゛
    {"\x83\x59", "\x83\x58\x81\x4A"},  // 165: ズ -> ス゛
    {"\x83\x5B", "\x83\x5A\x81\x4A"},  // 166: ゼ -> セ゛
    {"\x83\x5D", "\x83\x5C\x81\x4A"},  // 167: ゾ -> ソ゛
    {"\x83\x5F", "\x83\x5E\x81\x4A"},  // 168: ダ -> タ゛
    {"\x83\x61", "\x83\x60\x81\x4A"},  // 169: ヂ -> チ゛
    {"\x83\x64", "\x83\x63\x81\x4A"},  // 170: ヅ -> ツ゛
    {"\x83\x66", "\x83\x65\x81\x4A"},  // 171: デ -> テ゛
    {"\x83\x68", "\x83\x67\x81\x4A"},  // 172: ド -> ト゛
    {"\x83\x6F", "\x83\x6E\x81\x4A"},  // 173: バ -> ハ゛
    {"\x83\x72", "\x83\x71\x81\x4A"},  // 174: ビ -> ヒ゛
    {"\x83\x75", "\x83\x74\x81\x4A"},  // 175: ブ -> フ゛
    {"\x83\x78", "\x83\x77\x81\x4A"},  // 176: ベ -> ヘ゛
    {"\x83\x7B", "\x83\x7A\x81\x4A"},  // 177: ボ -> ホ゛
    {"\x83\x70", "\x83\x6E\x81\x4B"},  // 178: パ -> ハ゜
    {"\x83\x73", "\x83\x71\x81\x4B"},  // 179: ピ -> ヒ゜
    {"\x83\x76", "\x83\x74\x81\x4B"},  // 180: プ -> フ゜
    {"\x83\x79", "\x83\x77\x81\x4B"},  // 181: ペ -> ヘ゜
    {"\x83\x7C", "\x83\x7A\x81\x4B"},  // 182: ポ -> ホ゜
    {"\x83\x94", "\x83\x45\x81\x4A"},  // 183: ヴ -> ウ゛
}};

// Row index + 1 for each key (0 = no row), by whole character: one-byte keys
// by their byte, two-byte keys (lead 0x81 or 0x83) by their trail byte.
struct CharIndex {
    std::array<std::uint8_t, 256> oneByte{};
    std::array<std::uint8_t, 256> lead81{};
    std::array<std::uint8_t, 256> lead83{};
};

constexpr std::uint8_t byteAt(std::string_view text, std::size_t i) {
    return static_cast<std::uint8_t>(text[i]);
}

constexpr CharIndex buildCharIndex() {
    CharIndex index;
    for (std::size_t row = 0; row < kTable.size(); ++row) {
        const std::string_view key = kTable[row].key;
        const auto slot = static_cast<std::uint8_t>(row + 1);
        if (key.size() == 1) {
            index.oneByte[byteAt(key, 0)] = slot;
        } else if (byteAt(key, 0) == 0x81) {
            index.lead81[byteAt(key, 1)] = slot;
        } else {
            index.lead83[byteAt(key, 1)] = slot;
        }
    }
    return index;
}

constexpr bool keysAreSound() {
    for (const ReplacementRow& row : kTable) {
        const std::size_t keyLength = isKanji(byteAt(row.key, 0)) ? 2 : 1;
        if (row.key.size() != keyLength) return false;
        if (keyLength == 2 && byteAt(row.key, 0) != 0x81 && byteAt(row.key, 0) != 0x83) return false;
        if (row.replacement.size() != 2 && row.replacement.size() != 4) return false;
    }
    return true;
}
static_assert(keysAreSound(), "every key is one whole character, lead 0x81 or 0x83");
static_assert(kTable.size() < 255, "row numbers fit the index bytes");

constexpr CharIndex kCharIndex = buildCharIndex();

}  // namespace

std::span<const ReplacementRow> replacementTable() { return kTable; }

const ReplacementRow* findReplacement(std::uint8_t first, std::uint8_t second) {
    std::uint8_t slot = 0;
    if (!isKanji(first)) {
        slot = kCharIndex.oneByte[first];
    } else if (first == 0x81) {
        slot = kCharIndex.lead81[second];
    } else if (first == 0x83) {
        slot = kCharIndex.lead83[second];
    }
    return slot == 0 ? nullptr : &kTable[slot - 1];
}

std::size_t replaceChar(std::vector<std::uint8_t>& destination,
                        std::span<const std::uint8_t> source) {
    const std::size_t start = destination.size();
    std::size_t in = 0;
    while (in < source.size() && source[in] != 0) {
        const std::uint8_t first = source[in];
        std::uint8_t second = 0;
        std::size_t length = 1;
        if (isKanji(first)) {
            // A lead byte with no trail byte before the text's end is dropped.
            if (in + 1 >= source.size() || source[in + 1] == 0) break;
            second = source[in + 1];
            length = 2;
        }
        if (const ReplacementRow* row = findReplacement(first, second)) {
            destination.insert(destination.end(), row->replacement.begin(), row->replacement.end());
        } else {
            destination.insert(destination.end(), source.begin() + static_cast<std::ptrdiff_t>(in),
                               source.begin() + static_cast<std::ptrdiff_t>(in + length));
        }
        in += length;
    }
    const std::size_t written = destination.size() - start;
    destination.push_back(0);
    return written;
}

}  // namespace kvz
