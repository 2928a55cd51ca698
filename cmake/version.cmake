# The version of kvzpack and kvzdeck, set here only: both builds read it, and
# it reaches the code through the generated common/version.h.
set(KVZPACK_VERSION 0.1.0)
