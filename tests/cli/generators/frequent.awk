# 566 entries whose long field is 116 times A: 65656 A (Ａ once normalised).
BEGIN {
  for (i = 0; i < 116; i++) long = long "A"
  print "G0"
  for (e = 0; e < 566; e++) print long "\ta\tb\tc\td\te"
  for (g = 1; g < 8; g++) print "G" g
}
