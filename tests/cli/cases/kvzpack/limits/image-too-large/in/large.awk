# 1200 entries of 58 kanji (lead bytes 0x89 to 0x97) drawn at random, so that
# hardly a pair repeats and the image outgrows the device.
function byte(b) { return sprintf("\\x%02X", b) }
BEGIN {
  state = 12345
  print "G0"
  for (e = 0; e < 1200; e++) {
    text = ""
    for (c = 0; c < 58; c++) {
      state = (state * 16807) % 2147483647
      k = int(state / 256) % (15 * 188)
      t = k % 188
      text = text byte(137 + int(k / 188)) byte(t < 63 ? 64 + t : 65 + t)
    }
    print text "\ta\tb\tc\td\te"
  }
  for (g = 1; g < 8; g++) print "G" g
}
