# [DESTDIR=<stage>] cmake -DMANIFEST=<build>/install_manifest.txt -P uninstall.cmake
# Removes every file the last install recorded; the manifest lists them without DESTDIR, so
# a staged install is removed with the same DESTDIR.
if(NOT EXISTS "${MANIFEST}")
  message(FATAL_ERROR "Nothing to uninstall: ${MANIFEST} not found")
endif()
file(STRINGS "${MANIFEST}" installed_files)
foreach(installed IN LISTS installed_files)
  set(installed "$ENV{DESTDIR}${installed}")
  if(EXISTS "${installed}" OR IS_SYMLINK "${installed}")
    message(STATUS "Removing ${installed}")
    file(REMOVE "${installed}")
  endif()
endforeach()
