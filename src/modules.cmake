# The converter's modules, one static library each, with the modules it
# builds on. Both the native build (the top-level CMakeLists.txt) and the
# WebAssembly build (web/CMakeLists.txt) include this file; the page touches
# no file, so the modules that do (io, and the programs' own cli) are left
# out of the WebAssembly build.
set(KVZPACK_SRC ${CMAKE_CURRENT_LIST_DIR})

configure_file(${KVZPACK_SRC}/common/version.h.in ${CMAKE_BINARY_DIR}/generated/common/version.h @ONLY)
add_library(kvz_common INTERFACE)
target_include_directories(kvz_common INTERFACE ${KVZPACK_SRC} ${CMAKE_BINARY_DIR}/generated)

add_library(kvz_input STATIC
  ${KVZPACK_SRC}/input/kvz.cpp
  ${KVZPACK_SRC}/input/replace_char.cpp)
target_link_libraries(kvz_input PUBLIC kvz_common)

add_library(kvz_compress STATIC
  ${KVZPACK_SRC}/compress/chartable.cpp
  ${KVZPACK_SRC}/compress/phrases.cpp
  ${KVZPACK_SRC}/compress/stream.cpp
  ${KVZPACK_SRC}/compress/best.cpp
  ${KVZPACK_SRC}/compress/best_candidates.cpp
  ${KVZPACK_SRC}/compress/best_limits.cpp
  ${KVZPACK_SRC}/compress/best_parse.cpp
  ${KVZPACK_SRC}/compress/best_rounds.cpp
  ${KVZPACK_SRC}/compress/best_tally.cpp)
target_link_libraries(kvz_compress PUBLIC kvz_input)

add_library(kvz_glyph STATIC
  ${KVZPACK_SRC}/glyph/font4x8.cpp
  ${KVZPACK_SRC}/glyph/fontK6x8.cpp
  ${KVZPACK_SRC}/glyph/fontMisaki.cpp
  ${KVZPACK_SRC}/glyph/select.cpp
  ${KVZPACK_SRC}/glyph/pack.cpp)
target_link_libraries(kvz_glyph PUBLIC kvz_compress)

add_library(kvz_hexfile STATIC
  ${KVZPACK_SRC}/hexfile/hex_write.cpp
  ${KVZPACK_SRC}/hexfile/hex_read.cpp
  ${KVZPACK_SRC}/hexfile/hex_image.cpp
  ${KVZPACK_SRC}/hexfile/hex_faults.cpp)
target_link_libraries(kvz_hexfile PUBLIC kvz_common)

add_library(kvz_decode STATIC
  ${KVZPACK_SRC}/decode/decode.cpp
  ${KVZPACK_SRC}/decode/expand.cpp
  ${KVZPACK_SRC}/decode/verify.cpp)
target_link_libraries(kvz_decode PUBLIC kvz_glyph)

add_library(kvz_deck STATIC
  ${KVZPACK_SRC}/deck/deck.cpp
  ${KVZPACK_SRC}/deck/cp932.cpp
  ${KVZPACK_SRC}/deck/cp932_table.cpp
  ${KVZPACK_SRC}/deck/utf8.cpp
  ${KVZPACK_SRC}/deck/text_encoding.cpp
  ${KVZPACK_SRC}/deck/table.cpp
  ${KVZPACK_SRC}/deck/anki.cpp
  ${KVZPACK_SRC}/deck/deck_input.cpp)
target_link_libraries(kvz_deck PUBLIC kvz_input kvz_glyph)

add_library(kvz_core STATIC
  ${KVZPACK_SRC}/core/convert.cpp
  ${KVZPACK_SRC}/core/pack.cpp
  ${KVZPACK_SRC}/core/verify.cpp
  ${KVZPACK_SRC}/core/report.cpp
  ${KVZPACK_SRC}/core/inspect.cpp
  ${KVZPACK_SRC}/core/preview.cpp
  ${KVZPACK_SRC}/core/png_runs.cpp
  ${KVZPACK_SRC}/core/frontend.cpp
  ${KVZPACK_SRC}/core/image_deck.cpp)
target_link_libraries(kvz_core PUBLIC kvz_compress kvz_glyph kvz_hexfile kvz_decode kvz_deck)
# The preview's PNG is written with libpng where the build has it; the page
# encodes its PNG itself.
if(NOT EMSCRIPTEN)
  find_package(PNG)
  if(PNG_FOUND)
    target_link_libraries(kvz_core PUBLIC PNG::PNG)
    target_compile_definitions(kvz_core PUBLIC KVZPACK_HAVE_PNG=1)
  endif()

  # io holds every system call of the programs: its system's side is
  # io_posix.cpp and interruption_posix.cpp, or their Windows forms.
  find_package(Threads REQUIRED)
  if(WIN32)
    set(kvz_io_system ${KVZPACK_SRC}/io/io_windows.cpp ${KVZPACK_SRC}/io/interruption_windows.cpp)
  else()
    set(kvz_io_system ${KVZPACK_SRC}/io/io_posix.cpp ${KVZPACK_SRC}/io/interruption_posix.cpp)
  endif()
  add_library(kvz_io STATIC
    ${KVZPACK_SRC}/io/io.cpp
    ${KVZPACK_SRC}/io/temporary.cpp
    ${KVZPACK_SRC}/io/publish.cpp
    ${KVZPACK_SRC}/io/format_files.cpp
    ${KVZPACK_SRC}/io/checked_output.cpp
    ${kvz_io_system})
  target_link_libraries(kvz_io PUBLIC kvz_input kvz_hexfile Threads::Threads)
  if(WIN32)
    # CommandLineToArgvW
    target_link_libraries(kvz_io PRIVATE shell32)
  endif()

  add_library(kvz_cli STATIC
    ${KVZPACK_SRC}/cli/program.cpp
    ${KVZPACK_SRC}/cli/cli.cpp
    ${KVZPACK_SRC}/cli/driver.cpp
    ${KVZPACK_SRC}/cli/image_file.cpp
    ${KVZPACK_SRC}/cli/kvzdeck.cpp)
  target_link_libraries(kvz_cli PUBLIC kvz_core kvz_deck kvz_io)
endif()
