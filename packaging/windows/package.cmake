# The Windows zip (make windows-zip): quillomar-<version>-windows-x86_64.zip holds, in a folder of
# the same name, the engine, how to add it to a GUI, the README and the licence, as text files
# with Windows line ends.
include(${CMAKE_CURRENT_LIST_DIR}/../version.cmake)

set(zip_texts
    ${CMAKE_CURRENT_LIST_DIR}/ADDING-TO-A-GUI.txt:ADDING-TO-A-GUI.txt
    ${CMAKE_SOURCE_DIR}/README.md:README.txt
    ${CMAKE_SOURCE_DIR}/LICENSE:LICENSE.txt)
foreach(pair IN LISTS zip_texts)
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 name)
  file(READ ${source} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${CMAKE_BINARY_DIR}/zip/${name} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  install(FILES ${CMAKE_BINARY_DIR}/zip/${name} DESTINATION .)
endforeach()
install(TARGETS quillomar RUNTIME DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quillomar)
set(CPACK_PACKAGE_VERSION ${QUILLOMAR_VERSION})
set(CPACK_PACKAGE_FILE_NAME quillomar-${QUILLOMAR_VERSION}-windows-x86_64)
include(CPack)
