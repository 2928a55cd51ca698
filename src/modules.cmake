# The converter's modules, one static library each, with the modules it
# builds on. Both the native build (the top-level CMakeLists.txt) and the
# WebAssembly build (web/CMakeLists.txt) include this file; the page touches
# no file, so the modules that do (io, and the programs' own cli) are left
# out of the WebAssembly build.
set(KVZPACK_SRC ${CMAKE_CURRENT_LIST_DIR})

configure_file(${KVZPACK_SRC}/common/version.h.in ${CMAKE_BINARY_DIR}/generated/common/version.h @ONLY)
add_library(kvz_common INTERFACE)
target_include_directories(kvz_common INTERFACE ${KVZPACK_SRC} ${CMAKE_BINARY_DIR}/generated)

# kvz_module(NAME SOURCES file... DEPENDS target...): the static library
# kvz_NAME of the named files in src/NAME, building on the targets named.
function(kvz_module name)
  cmake_parse_arguments(PARSE_ARGV 1 module "" "" "SOURCES;DEPENDS")
  list(TRANSFORM module_SOURCES PREPEND ${KVZPACK_SRC}/${name}/)
  add_library(kvz_${name} STATIC ${module_SOURCES})
  target_link_libraries(kvz_${name} PUBLIC ${module_DEPENDS})
endfunction()

kvz_module(input
  SOURCES kvz.cpp replace_char.cpp
  DEPENDS kvz_common)

kvz_module(compress
  SOURCES chartable.cpp phrases.cpp stream.cpp
          best.cpp best_candidates.cpp best_limits.cpp best_parse.cpp best_rounds.cpp best_tally.cpp
  DEPENDS kvz_input)

kvz_module(glyph
  SOURCES font4x8.cpp fontK6x8.cpp fontMisaki.cpp select.cpp pack_image.cpp
  DEPENDS kvz_compress)

kvz_module(hexfile
  SOURCES hex_write.cpp hex_read.cpp hex_image.cpp hex_faults.cpp
  DEPENDS kvz_common)

kvz_module(decode
  SOURCES decode.cpp expand.cpp check_decoded.cpp
  DEPENDS kvz_glyph)

kvz_module(deck
  SOURCES deck_characters.cpp deck_build.cpp deck_dump.cpp cp932.cpp cp932_table.cpp utf8.cpp
          text_encoding.cpp table.cpp anki.cpp html_entities.cpp nfc.cpp nfc_table.cpp deck_input.cpp
          anki_package.cpp
  DEPENDS kvz_input kvz_glyph)

kvz_module(core
  SOURCES convert.cpp fit.cpp pack.cpp verify.cpp report.cpp inspect.cpp preview.cpp png_runs.cpp
          space.cpp split.cpp frontend.cpp image_deck.cpp own_outputs.cpp bounds.cpp
  DEPENDS kvz_compress kvz_glyph kvz_hexfile kvz_decode kvz_deck)
if(NOT EMSCRIPTEN)
  # io holds every system call of the programs: its system's side is
  # io_posix.cpp and interruption_posix.cpp, or their Windows forms.
  find_package(Threads REQUIRED)
  if(WIN32)
    set(kvz_io_system io_windows.cpp interruption_windows.cpp)
  else()
    set(kvz_io_system io_posix.cpp interruption_posix.cpp)
  endif()
  kvz_module(io
    SOURCES io.cpp temporary.cpp publish.cpp journal.cpp format_files.cpp checked_output.cpp ${kvz_io_system}
    DEPENDS kvz_input kvz_hexfile Threads::Threads)
  if(WIN32)
    # CommandLineToArgvW
    target_link_libraries(kvz_io PRIVATE shell32)
  endif()

  # package: Anki packages read with the system's libzip, libzstd and
  # SQLite. Debian has no mingw-w64 builds of them, so the Windows build
  # (and any build without them) reads no packages and says so.
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND AND NOT WIN32)
    pkg_check_modules(KVZ_PACKAGE_LIBS IMPORTED_TARGET sqlite3 libzip libzstd)
  endif()
  if(KVZ_PACKAGE_LIBS_FOUND)
    kvz_module(package SOURCES package_libraries_system.cpp DEPENDS kvz_deck PkgConfig::KVZ_PACKAGE_LIBS)
  else()
    message(STATUS "This build reads no Anki packages (SQLite, libzip and libzstd are not found, or it is for Windows)")
    kvz_module(package SOURCES package_libraries_none.cpp DEPENDS kvz_deck)
  endif()

  kvz_module(cli
    SOURCES program.cpp kvzpack_options.cpp kvzpack_run.cpp image_file.cpp kvzdeck.cpp
    DEPENDS kvz_core kvz_deck kvz_io kvz_package)
endif()
