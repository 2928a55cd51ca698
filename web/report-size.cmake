# Prints the size of FILE, so that every build of the site tells how large
# the worker bundle came out: cmake -DFILE=path -P report-size.cmake
file(SIZE "${FILE}" bytes)
math(EXPR kib "(${bytes} + 512) / 1024")
get_filename_component(name "${FILE}" NAME)
message(STATUS "${name}: ${bytes} bytes (${kib} KiB)")
