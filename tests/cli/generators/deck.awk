# Group G0 of 500 entries and G1 of 400, each a long field of 58 kanji
# (lead bytes 0x89 to 0x97) drawn at random, so that hardly a pair repeats
# and the image outgrows the device: two parts, G0 cut between them.
function byte(b) { return sprintf("\\x%02X", b) }
function entry(   text, c, k, t) {
  text = ""
  for (c = 0; c < 58; c++) {
    state = (state * 16807) % 2147483647
    k = int(state / 256) % (15 * 188)
    t = k % 188
    text = text byte(137 + int(k / 188)) byte(t < 63 ? 64 + t : 65 + t)
  }
  return text "\ta\tb\tc\td\te"
}
BEGIN {
  state = 12345
  print "G0"
  for (e = 0; e < 500; e++) print entry()
  print "G1"
  for (e = 0; e < 400; e++) print entry()
  for (g = 2; g < 8; g++) print "G" g
}
