# The Debian package: `cpack -G DEB` in the build folder (`make deb`) gives
# kvzpack_VERSION_ARCH.deb with both programs, their manual pages, the
# README, the changelog and the copyright under /usr/share/doc/kvzpack. The
# dependencies are those dpkg-shlibdeps finds for the libraries the programs
# link.
set(KVZPACK_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/kvzpack)
set(packaging ${CMAKE_BINARY_DIR}/packaging)

# Manual pages and the changelog are installed compressed, as Debian wants
# them; gzip -n keeps the bytes the same on every build.
set(compressed "")
foreach(source doc/kvzpack.1 doc/kvzdeck.1 packaging/debian/changelog)
  get_filename_component(name ${source} NAME)
  add_custom_command(OUTPUT ${packaging}/${name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${packaging}
    COMMAND gzip -9nc ${CMAKE_SOURCE_DIR}/${source} > ${packaging}/${name}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/${source}
    VERBATIM)
  list(APPEND compressed ${packaging}/${name}.gz)
endforeach()
add_custom_target(compressed-docs ALL DEPENDS ${compressed})

install(FILES ${packaging}/kvzpack.1.gz ${packaging}/kvzdeck.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging}/changelog.gz packaging/debian/copyright README.md src/glyph/FONTS-LICENSE
        DESTINATION ${KVZPACK_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kvzpack)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "kvzpack developers <kvzpack@example.org>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert KVZ flash-card decks into device images")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "kvzpack turns KVZ decks (Shift_JIS texts in 8 groups of entries, fixed
256-byte records) into the memory image that a small device loads at
address 0x05D0: the texts compressed, and the 7-pixel glyphs of exactly the
characters used, written as Intel HEX. Every image is decoded again and
checked against its deck before it replaces an older one.

kvzdeck builds KVZ decks from readable text and writes decks back as text.")
include(CPack)
