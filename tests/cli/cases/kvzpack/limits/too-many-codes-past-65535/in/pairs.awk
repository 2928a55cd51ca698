# Each pair of 300 kanji five times, in a scrambled order: nearly every pair
# becomes a phrase, more than 16-bit phrase codes can number.
function kanji(c) { return sprintf("\\x%02X\\x%02X", 137 + int(c / 94), 128 + c % 94) }
function pair(   k) { k = int((n++ * 7919) % total / 5); return kanji(int(k / A)) kanji(k % A) }
function text(pairs,   s, i) { s = ""; for (i = 0; i < pairs; i++) s = s pair(); return s }
BEGIN {
  A = 300; total = 5 * A * A; n = 0
  for (g = 0; g < 8; g++) {
    print "G" g
    for (e = 0; e < 879; e++) print text(29) "\t" text(7) "\t" text(7) "\t" text(7) "\t" text(7) "\t" text(7)
  }
}
