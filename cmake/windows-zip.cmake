# The Windows programs as one zip (`make windows`):
# kvzpack-VERSION-windows-x86_64.zip holds a folder of that name with
# kvzpack.exe and kvzdeck.exe (linked with everything but the system's own
# DLLs), the README, the licences, and both manual pages rendered as UTF-8
# text with CR LF line ends, which any Windows editor shows.
set(windows_package kvzpack-${PROJECT_VERSION}-windows-x86_64)
set(windows_folder ${CMAKE_BINARY_DIR}/zip/${windows_package})
set(windows_zip ${CMAKE_BINARY_DIR}/${windows_package}.zip)

find_program(GROFF groff REQUIRED)
set(windows_documents "")
foreach(page kvzpack kvzdeck)
  add_custom_command(OUTPUT ${windows_folder}/${page}-manual.txt
    COMMAND ${CMAKE_COMMAND} -E make_directory ${windows_folder}
    COMMAND ${GROFF} -man -Tutf8 -P-cbu ${CMAKE_SOURCE_DIR}/doc/${page}.1 | sed "s/$/\\r/" > ${windows_folder}/${page}-manual.txt
    DEPENDS ${CMAKE_SOURCE_DIR}/doc/${page}.1
    VERBATIM)
  list(APPEND windows_documents ${windows_folder}/${page}-manual.txt)
endforeach()
foreach(pair "README.md:README.md" "src/glyph/FONTS-LICENSE:FONTS-LICENSE.txt"
             "packaging/debian/copyright:COPYRIGHT.txt")
  string(REPLACE ":" ";" pair ${pair})
  list(GET pair 0 source)
  list(GET pair 1 name)
  add_custom_command(OUTPUT ${windows_folder}/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_SOURCE_DIR}/${source} ${windows_folder}/${name}
    DEPENDS ${CMAKE_SOURCE_DIR}/${source}
    VERBATIM)
  list(APPEND windows_documents ${windows_folder}/${name})
endforeach()

# The files in one order, each with the same time stamp.
set(windows_entries "")
foreach(file kvzpack.exe kvzdeck.exe README.md kvzpack-manual.txt kvzdeck-manual.txt FONTS-LICENSE.txt COPYRIGHT.txt)
  list(APPEND windows_entries ${windows_package}/${file})
endforeach()
add_custom_command(OUTPUT ${windows_zip}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:kvzpack> $<TARGET_FILE:kvzdeck> ${windows_folder}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${windows_zip}
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR}/zip
          ${CMAKE_COMMAND} -E tar cf ${windows_zip} --format=zip "--mtime=2000-01-01 00:00:00 UTC" ${windows_entries}
  DEPENDS kvzpack kvzdeck ${windows_documents}
  VERBATIM)
add_custom_target(windows-zip ALL DEPENDS ${windows_zip})
