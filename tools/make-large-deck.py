#!/usr/bin/env python3
"""Generate the largest realistic KVZ deck source (TSV) that still fits the
device's 65536-byte text block, from the EDRDG dictionary files EDICT and
KANJIDIC (Debian packages `edict` and `kanjidic`).

The TSV is what `kvzdeck build deck.tsv deck.kvz` turns into a KVZ file:
comment lines start with "#", a one-field line names the next group (8 of
them, in order), a six-field line is an entry (long field, short fields 1-5).

The generator lays out cards in a fixed, seeded order and adds them while the
normalised text still fits; it stops at the first card that would not fit, so
that card is the "one more entry" that overflows the block.

Standard library only.  Usage:

    tools/make-large-deck.py -o examples/large.tsv          # default seed
    tools/make-large-deck.py --seed 7 --limit 20000 -o small.tsv
    tools/make-large-deck.py --self-test
"""

import argparse
import random
import sys
import unicodedata

DEFAULT_EDICT = "/usr/share/edict/edict"
DEFAULT_KANJIDIC = "/usr/share/edict/kanjidic"
DEFAULT_SEED = 1
TEXT_BLOCK_SIZE = 65536

LONG_WIDTH = 116
SHORT_WIDTH = 28
GROUP_NAME_WIDTH = 16

GROUP_NAMES = [
    "あ行の言葉",
    "か行の言葉",
    "さ行の言葉",
    "た・な行の言葉",
    "は・ま行の言葉",
    "や・ら・わ行",
    "カタカナ語",
    "漢字カード",
]
LOANWORD_GROUP = 6
KANJI_GROUP = 7

# ---------------------------------------------------------------------------
# Normalisation as the device's reader applies it to Shift_JIS (CP932) bytes.

VOICED_KATAKANA = "ガギグゲゴザジズゼゾダヂヅデドバビブベボパピプペポヴ"
VOICED_CODES = frozenset(ch.encode("cp932") for ch in VOICED_KATAKANA)
LONG_VOWEL_MARK = "ー".encode("cp932")  # 0x81 0x5B
FULL_MINUS = b"\x81\x7c"
VOICED_MARK = b"\x81\x4a"  # ゛
SEMI_VOICED_MARK = b"\x81\x4b"  # ゜

# ASCII characters whose full-width form is not simply U+FF01 + (c - 0x21).
ASCII_SPECIAL = {
    0x22: b"\x81\x68",  # ”
    0x27: b"\x81\x66",  # ’
    0x2D: FULL_MINUS,
    0x5C: b"\x81\x8f",  # ￥
    0x60: b"\x81\x65",  # ‘
    0x7E: b"\x81\x60",  # ～
}


def is_lead_byte(byte):
    return 0x81 <= byte <= 0x9F or 0xE0 <= byte <= 0xFC


def characters(data):
    """Split CP932 bytes into characters the way the device steps through them."""
    i = 0
    while i < len(data):
        width = 2 if is_lead_byte(data[i]) else 1
        yield data[i:i + width]
        i += width


def normalised_char_length(ch):
    if len(ch) == 2:
        return 4 if ch in VOICED_CODES else 2
    byte = ch[0]
    if 0x21 <= byte <= 0x7E or 0xA1 <= byte <= 0xDF:
        return 2
    return 1


def normalised_length(data):
    """Length in bytes of the normalised form of CP932 text `data`."""
    return sum(normalised_char_length(ch) for ch in characters(data))


def normalise_char(ch):
    """The normalised bytes of one CP932 character (used for counting glyphs)."""
    if ch == LONG_VOWEL_MARK:
        return FULL_MINUS
    if ch in VOICED_CODES:
        base, mark = unicodedata.normalize("NFD", ch.decode("cp932"))
        return base.encode("cp932") + (VOICED_MARK if mark == "\u3099" else SEMI_VOICED_MARK)
    if len(ch) == 2:
        return ch
    byte = ch[0]
    if 0x21 <= byte <= 0x7E:
        return ASCII_SPECIAL.get(byte) or chr(0xFF01 + byte - 0x21).encode("cp932")
    if byte == 0xB0:
        return FULL_MINUS
    if byte == 0xDE:
        return VOICED_MARK
    if byte == 0xDF:
        return SEMI_VOICED_MARK
    if 0xA1 <= byte <= 0xDF:
        return unicodedata.normalize("NFKC", ch.decode("cp932")).encode("cp932")
    return ch


def normalise(data):
    return b"".join(normalise_char(ch) for ch in characters(data))


def normalised_characters(data):
    """The characters of the normalised text, as the glyph set sees them."""
    return list(characters(normalise(data)))


# ---------------------------------------------------------------------------
# Kana helpers.

def to_hiragana(text):
    return "".join(chr(ord(c) - 0x60) if "ァ" <= c <= "ヶ" else c for c in text)


def is_katakana_word(text):
    return bool(text) and all("ァ" <= c <= "ヺ" or c == "ー" for c in text)


def is_kana_word(text):
    return bool(text) and all("ぁ" <= c <= "ゖ" or "ァ" <= c <= "ヺ" or c == "ー" for c in text)


def has_kanji(text):
    return any("\u4e00" <= c <= "\u9fff" or c == "々" for c in text)


def build_half_width_map():
    table = {}
    for code in range(0xFF61, 0xFFA0):
        half = chr(code)
        full = unicodedata.normalize("NFKC", half)
        if len(full) == 1 and full not in table:
            table[full] = half
    return table


HALF_WIDTH = build_half_width_map()


def to_half_width_katakana(text):
    """Half-width form of a katakana word, or None if a character has none."""
    out = []
    for c in text:
        if c in HALF_WIDTH:
            out.append(HALF_WIDTH[c])
            continue
        parts = unicodedata.normalize("NFD", c)
        if len(parts) == 2 and parts[0] in HALF_WIDTH and parts[1] in "\u3099\u309a":
            out.append(HALF_WIDTH[parts[0]] + ("ﾞ" if parts[1] == "\u3099" else "ﾟ"))
            continue
        if c == "ヴ":
            out.append("ｳﾞ")
            continue
        return None
    return "".join(out)


ROMAJI_PAIRS = {
    "きゃ": "kya", "きゅ": "kyu", "きょ": "kyo", "ぎゃ": "gya", "ぎゅ": "gyu", "ぎょ": "gyo",
    "しゃ": "sha", "しゅ": "shu", "しょ": "sho", "しぇ": "she",
    "じゃ": "ja", "じゅ": "ju", "じょ": "jo", "じぇ": "je",
    "ちゃ": "cha", "ちゅ": "chu", "ちょ": "cho", "ちぇ": "che",
    "ぢゃ": "ja", "ぢゅ": "ju", "ぢょ": "jo",
    "にゃ": "nya", "にゅ": "nyu", "にょ": "nyo", "ひゃ": "hya", "ひゅ": "hyu", "ひょ": "hyo",
    "びゃ": "bya", "びゅ": "byu", "びょ": "byo", "ぴゃ": "pya", "ぴゅ": "pyu", "ぴょ": "pyo",
    "みゃ": "mya", "みゅ": "myu", "みょ": "myo", "りゃ": "rya", "りゅ": "ryu", "りょ": "ryo",
    "ふぁ": "fa", "ふぃ": "fi", "ふぇ": "fe", "ふぉ": "fo", "ふゅ": "fyu",
    "てぃ": "ti", "でぃ": "di", "でゅ": "dyu", "とぅ": "tu", "どぅ": "du",
    "うぃ": "wi", "うぇ": "we", "うぉ": "wo", "ゔぁ": "va", "ゔぃ": "vi", "ゔぇ": "ve", "ゔぉ": "vo",
    "つぁ": "tsa", "つぃ": "tsi", "つぇ": "tse", "つぉ": "tso", "いぇ": "ye",
    "くぁ": "kwa", "ぐぁ": "gwa",
}
ROMAJI_SINGLE = dict(zip(
    "あいうえおかきくけこがぎぐげごさしすせそざじずぜぞたちつてとだぢづでど"
    "なにぬねのはひふへほばびぶべぼぱぴぷぺぽまみむめもやゆよらりるれろわゐゑをゔ"
    "ぁぃぅぇぉゃゅょゎ",
    "a i u e o ka ki ku ke ko ga gi gu ge go sa shi su se so za ji zu ze zo "
    "ta chi tsu te to da ji zu de do na ni nu ne no ha hi fu he ho ba bi bu be bo "
    "pa pi pu pe po ma mi mu me mo ya yu yo ra ri ru re ro wa i e o vu "
    "a i u e o ya yu yo wa".split()))


def to_romaji(reading):
    """Hepburn romanisation of a kana reading (long vowels doubled, ASCII only)."""
    kana = to_hiragana(reading)
    out = []
    i = 0
    double_next = False
    while i < len(kana):
        pair = kana[i:i + 2]
        if pair in ROMAJI_PAIRS:
            syllable, i = ROMAJI_PAIRS[pair], i + 2
        elif kana[i] == "っ":
            double_next, i = True, i + 1
            continue
        elif kana[i] == "ん":
            following = kana[i + 1:i + 2]
            syllable = "n'" if following and following in "あいうえおやゆよ" else "n"
            i += 1
        elif kana[i] == "ー":
            syllable = out[-1][-1] if out and out[-1][-1] in "aeiou" else ""
            i += 1
        elif kana[i] in ROMAJI_SINGLE:
            syllable, i = ROMAJI_SINGLE[kana[i]], i + 1
        else:
            return None
        if double_next:
            syllable = ("t" if syllable.startswith("ch") else syllable[0]) + syllable
            double_next = False
        out.append(syllable)
    return "".join(out) or None


# ---------------------------------------------------------------------------
# Field helpers.

def cp932_length(text):
    try:
        return len(text.encode("cp932"))
    except UnicodeEncodeError:
        return None


def fits(text, width):
    length = cp932_length(text)
    return length is not None and 0 < length <= width


def is_safe_field(text):
    return (bool(text) and all(c >= " " for c in text) and "\\" not in text
            and text == text.strip() and not text.startswith("#"))


def trim_to_word_boundary(text, width):
    """Cut text to at most `width` CP932 bytes at a word boundary."""
    if fits(text, width):
        return text
    words = text.split(" ")
    while len(words) > 1:
        words.pop()
        candidate = " ".join(words).rstrip(" ,;:-(")
        if candidate.count("(") != candidate.count(")"):
            continue
        if fits(candidate, width):
            return candidate
    return None


def join_to_width(items, separator, width):
    """Join leading items while they fit; if even the first does not, trim it."""
    text = ""
    for item in items:
        candidate = item if not text else text + separator + item
        if fits(candidate, width):
            text = candidate
        elif not text:
            return trim_to_word_boundary(item, width)
        else:
            break
    return text or None


# ---------------------------------------------------------------------------
# Data sources.

def read_euc_lines(path):
    with open(path, "rb") as source:
        for raw in source:
            yield raw.decode("euc_jp", errors="replace").rstrip("\n")


def parse_edict_line(line):
    """(headword, reading, pos, glosses) of a common EDICT entry, else None."""
    parts = line.split("/")
    if len(parts) < 3 or "(P)" not in parts:
        return None
    head = parts[0].strip()
    if " [" in head:
        headword, reading = head.split(" [", 1)
        reading = reading.rstrip("]")
    else:
        headword = reading = head
    pos = ""
    glosses = []
    for piece in parts[1:]:
        piece = piece.strip()
        if not piece or piece == "(P)" or piece.startswith("EntL"):
            continue
        tags = []
        while piece.startswith("("):
            close = piece.find(")")
            if close < 0:
                break
            tags.append(piece[1:close])
            piece = piece[close + 1:].lstrip()
        if not pos and tags:
            pos = tags[0]
        if piece and piece.isascii() and is_safe_field(piece) and piece not in glosses:
            glosses.append(piece)
    if not glosses or not pos.isascii():
        return None
    return headword, reading, pos, glosses


def load_edict(path):
    return [entry for entry in map(parse_edict_line, read_euc_lines(path)) if entry]


def parse_kanjidic_line(line):
    """A dict describing one KANJIDIC kanji, or None for comments."""
    if line.startswith("#") or not line:
        return None
    meanings = []
    rest = line
    while "{" in rest:
        start = rest.index("{")
        end = rest.index("}", start)
        meanings.append(rest[start + 1:end])
        rest = rest[:start] + rest[end + 1:]
    fields = rest.split()
    kanji = fields[0]
    info = {"kanji": kanji, "on": [], "kun": [], "strokes": None, "grade": None,
            "jlpt": None, "meanings": meanings}
    for field in fields[2:]:
        if field.startswith("T"):
            break  # name and radical readings follow; not ordinary readings
        if field[0] == "S" and field[1:].isdigit() and info["strokes"] is None:
            info["strokes"] = int(field[1:])
        elif field[0] == "G" and field[1:].isdigit():
            info["grade"] = int(field[1:])
        elif field[0] == "J" and field[1:].isdigit():
            info["jlpt"] = int(field[1:])
        elif is_katakana_word(field.strip("-")):
            info["on"].append(field)
        elif "ぁ" <= field.strip("-")[:1] <= "ゖ":
            info["kun"].append(field)
    return info


def load_kanjidic(path):
    return [entry for entry in map(parse_kanjidic_line, read_euc_lines(path)) if entry]


# ---------------------------------------------------------------------------
# Cards.

KANA_ROW_GROUPS = [
    ("あいうえおぁぃぅぇぉゔ", 0),
    ("かきくけこがぎぐげご", 1),
    ("さしすせそざじずぜぞ", 2),
    ("たちつてとだぢづでどっなにぬねの", 3),
    ("はひふへほばびぶべぼぱぴぷぺぽまみむめも", 4),
    ("やゆよゃゅょらりるれろわをん", 5),
]


def reading_group(reading):
    first = to_hiragana(reading)[:1]
    for row, group in KANA_ROW_GROUPS:
        if first and first in row:
            return group
    return None


def checked_card(fields):
    """The six fields if every one is safe and within its width, else None."""
    widths = [LONG_WIDTH] + [SHORT_WIDTH] * 5
    for text, width in zip(fields, widths):
        if text is None or not is_safe_field(text) or not fits(text, width):
            return None
    return fields


def vocabulary_card(entry):
    headword, reading, pos, glosses = entry
    if is_katakana_word(headword):
        second = to_half_width_katakana(headword)
    else:
        second = reading
    romaji = to_romaji(reading)
    long_field = join_to_width(glosses, "; ", LONG_WIDTH)
    pos_field = join_to_width(pos.split(","), ",", SHORT_WIDTH)
    return [long_field, headword, second, pos_field, romaji, None]


def vocabulary_group(entry):
    headword, reading, _, _ = entry
    if not is_kana_word(reading):
        return None
    if is_katakana_word(headword):
        return LOANWORD_GROUP
    if has_kanji(headword):
        return reading_group(reading)
    return None


def format_kun(reading):
    stem, _, okurigana = reading.partition(".")
    return stem + ("(" + okurigana + ")" if okurigana else "")


def grade_label(grade):
    if grade is None:
        return "表外"
    if grade <= 6:
        return "小%d" % grade
    if grade == 8:
        return "常用"
    return "人名用"


def find_example(kanji, words):
    """A common two- or three-character word starting with the kanji."""
    for headword, reading in words.get(kanji, []):
        return "例:%s(%s)" % (headword, reading)
    return None


def kanji_card(info, words):
    meanings = [m for m in info["meanings"] if m.isascii() and is_safe_field(m)]
    if not meanings or info["strokes"] is None:
        return None
    example = find_example(info["kanji"], words)
    long_field = None
    if example:
        room = LONG_WIDTH - cp932_length(example) - 1
        gloss = join_to_width(meanings, "; ", room)
        long_field = gloss + " " + example if gloss else None
    if long_field is None:
        long_field = join_to_width(meanings, "; ", LONG_WIDTH)
    on = join_to_width(info["on"], "・", SHORT_WIDTH) or "なし"
    kun = join_to_width([format_kun(k) for k in info["kun"]], "・", SHORT_WIDTH) or "なし"
    level = ("JLPT%d " % info["jlpt"] if info["jlpt"] else "") + grade_label(info["grade"])
    return [long_field, info["kanji"], on, kun, "%d画" % info["strokes"], level]


def example_words(edict):
    words = {}
    for headword, reading, _, _ in edict:
        if 2 <= len(headword) <= 3 and has_kanji(headword[0]) and is_kana_word(reading):
            if fits("例:%s(%s)" % (headword, reading), 40):
                words.setdefault(headword[0], []).append((headword, reading))
    return words


def candidate_pools(edict, kanjidic):
    """Card candidates per group, in data-file order."""
    pools = [[] for _ in GROUP_NAMES]
    for entry in edict:
        group = vocabulary_group(entry)
        if group is not None:
            pools[group].append(vocabulary_card(entry))
    words = example_words(edict)
    for info in kanjidic:
        if info["jlpt"] or (info["grade"] is not None and info["grade"] <= 8):
            pools[KANJI_GROUP].append(kanji_card(info, words))
    return pools


def card_sequence(pools, seed):
    """Cards in the order the generator adds them: seeded shuffle per group,
    then one card from each group in turn (group order shuffled per round)."""
    rng = random.Random(seed)
    queues = []
    for pool in pools:
        pool = list(pool)
        rng.shuffle(pool)
        queues.append(iter(pool))
    number = 0
    while True:
        order = list(range(len(queues)))
        rng.shuffle(order)
        for group in order:
            for card in queues[group]:
                if card is None:
                    continue
                card = list(card)
                if card[5] is None:
                    card[5] = "No.%04d" % (number + 1)
                if checked_card(card):
                    number += 1
                    yield group, card
                    break
            else:
                return  # a group ran dry: stop rather than unbalance the deck


def text_cost(text):
    """Bytes the text takes in the text block: normalised length plus its zero."""
    return normalised_length(text.encode("cp932")) + 1


def build_deck(pools, seed, limit):
    """Fill the deck up to `limit` bytes; also return the first card that did
    not fit (None if the data ran out first)."""
    used = sum(text_cost(name) for name in GROUP_NAMES) + 1  # + final empty text
    groups = [[] for _ in GROUP_NAMES]
    for group, card in card_sequence(pools, seed):
        cost = sum(text_cost(field) for field in card)
        if used + cost > limit:
            return groups, used, (group, card, cost)
        groups[group].append(card)
        used += cost
    return groups, used, None


def write_tsv(out, groups, seed, limit):
    options = "--seed %d" % seed + ("" if limit == TEXT_BLOCK_SIZE else " --limit %d" % limit)
    out.write("# KVZ deck of vocabulary and kanji cards, made by\n")
    out.write("#   tools/make-large-deck.py %s\n" % options)
    out.write("# This deck uses the EDICT and KANJIDIC dictionary files. These files are the\n")
    out.write("# property of the Electronic Dictionary Research and Development Group, and are\n")
    out.write("# used in conformance with the Group's licence (CC BY-SA 3.0), as is this file;\n")
    out.write("# see examples/LARGE-DECK.md.\n")
    out.write("# Vocabulary: gloss, headword, reading, part of speech, romaji, card number.\n")
    out.write("# Kanji: meanings and example, kanji, on, kun, strokes, level.\n")
    for name, cards in zip(GROUP_NAMES, groups):
        out.write(name + "\n")
        for card in cards:
            out.write("\t".join(card) + "\n")


def distinct_characters(groups):
    chars = set()
    for text in GROUP_NAMES + [field for cards in groups for card in cards for field in card]:
        chars.update(normalised_characters(text.encode("cp932")))
    return len(chars)


# ---------------------------------------------------------------------------
# Self-test.

def self_test():
    cases = [
        (b"ABC", 6, b"\x82\x60\x82\x61\x82\x62"),
        (b"a b", 5, b"\x82\x81\x20\x82\x82"),
        (b"\xb6\xde", 4, b"\x83\x4a\x81\x4a"),          # ｶﾞ
        (b"\x83\x4b", 4, b"\x83\x4a\x81\x4a"),          # ガ
        (b"\x83\x70", 4, b"\x83\x6e\x81\x4b"),          # パ
        (b"\x83\x94", 4, b"\x83\x45\x81\x4a"),          # ヴ
        (b"\x81\x5b", 2, b"\x81\x7c"),                  # ー
        (b"\xb0", 2, b"\x81\x7c"),                      # ｰ
        (b"-", 2, b"\x81\x7c"),
        (b"\\~", 4, b"\x81\x8f\x81\x60"),
        (b"\"'`", 6, b"\x81\x68\x81\x66\x81\x65"),
        (b"#|^_", 8, b"\x81\x94\x81\x62\x81\x4f\x81\x51"),
        (b"\x82\xaa\x81\x40", 4, b"\x82\xaa\x81\x40"),  # が, full-width space
        (b"", 0, b""),
    ]
    failures = 0
    for source, length, expected in cases:
        got_length, got_bytes = normalised_length(source), normalise(source)
        if got_length != length or got_bytes != expected or len(got_bytes) != length:
            failures += 1
            print("FAIL %r: length %d (want %d), bytes %r (want %r)"
                  % (source, got_length, length, got_bytes, expected), file=sys.stderr)
    other_checks = [
        (to_romaji("がっこう"), "gakkou"),
        (to_romaji("マッチ"), "matchi"),
        (to_romaji("コンピューター"), "konpyuutaa"),
        (to_romaji("きんえん"), "kin'en"),
        (to_half_width_katakana("ガソリン"), "ｶﾞｿﾘﾝ"),
        (to_half_width_katakana("パーティー"), "ﾊﾟｰﾃｨｰ"),
        (trim_to_word_boundary("x " * 70, 20), "x x x x x x x x x x"),
        (all(fits(name, GROUP_NAME_WIDTH) and " " not in name for name in GROUP_NAMES), True),
    ]
    for got, want in other_checks:
        if got != want:
            failures += 1
            print("FAIL: got %r, want %r" % (got, want), file=sys.stderr)
    total = len(cases) + len(other_checks)
    print("%d passed, %d failed" % (total - failures, failures))
    return failures == 0


# ---------------------------------------------------------------------------

def parse_arguments(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("-o", "--output", help="TSV file to write (default: standard output)")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED)
    parser.add_argument("--edict", default=DEFAULT_EDICT)
    parser.add_argument("--kanjidic", default=DEFAULT_KANJIDIC)
    parser.add_argument("--limit", type=int, default=TEXT_BLOCK_SIZE,
                        help="text block size to fill (default %(default)s)")
    parser.add_argument("--self-test", action="store_true",
                        help="check the size computation and helpers, then exit")
    return parser.parse_args(argv)


def main(argv):
    args = parse_arguments(argv)
    if args.self_test:
        return 0 if self_test() else 1
    pools = candidate_pools(load_edict(args.edict), load_kanjidic(args.kanjidic))
    groups, used, overflow = build_deck(pools, args.seed, args.limit)
    if args.output:
        with open(args.output, "w", encoding="utf-8", newline="\n") as out:
            write_tsv(out, groups, args.seed, args.limit)
    else:
        write_tsv(sys.stdout, groups, args.seed, args.limit)
    entries = sum(len(cards) for cards in groups)
    print("normalised size: %d of %d bytes" % (used, args.limit), file=sys.stderr)
    print("entries: %d (per group: %s)" % (entries, " ".join(str(len(c)) for c in groups)),
          file=sys.stderr)
    print("distinct characters: %d" % distinct_characters(groups), file=sys.stderr)
    if overflow:
        print("next entry (group %d, %d bytes) would make %d bytes"
              % (overflow[0], overflow[2], used + overflow[2]), file=sys.stderr)
    else:
        print("warning: data ran out before the text block was full", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
