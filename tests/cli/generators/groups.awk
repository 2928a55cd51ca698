# A deck whose groups hold the entry counts given as counts="c0 c1 ... c7";
# each field is one letter of twenty, so that no character is too frequent.
BEGIN {
  split(counts, count, " ")
  n = 0
  for (g = 1; g <= 8; g++) {
    print "G" g - 1
    for (e = 0; e < count[g]; e++) {
      line = ""
      for (f = 0; f < 6; f++) line = line (f ? "\t" : "") substr("abcdefghijklmnopqrst", n++ % 20 + 1, 1)
      print line
    }
  }
}
