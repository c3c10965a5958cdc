# The outside libraries of the GenApi description reader (kd_genapi), both
# Debian's and both linked statically: the Linux programs need no library they
# did not need before, and the Windows programs keep importing only system DLLs.
#
#   kd_zlib   zlib's libz.a: zlib1g-dev natively, libz-mingw-w64-dev for Windows
#   kd_expat  expat: libexpat1-dev's libexpat.a natively; the Windows builds
#             compile the sources of Debian's expat source package, which
#             scripts/setup.sh fetches (Debian ships no mingw build of it)

# By name: beside mingw's libz.a lies the import library libz.dll.a, which a
# plain search prefers and which would tie the programs to zlib1.dll.
find_path(KD_ZLIB_INCLUDE_DIR zlib.h)
find_library(KD_ZLIB_LIBRARY NAMES libz.a)
if(NOT KD_ZLIB_INCLUDE_DIR OR NOT KD_ZLIB_LIBRARY)
  if(WIN32)
    set(zlib_package libz-mingw-w64-dev)
  else()
    set(zlib_package zlib1g-dev)
  endif()
  message(FATAL_ERROR "zlib's static library libz.a is missing: install ${zlib_package} "
                      "(scripts/setup.sh does)")
endif()
add_library(kd_zlib STATIC IMPORTED)
set_target_properties(kd_zlib PROPERTIES
  IMPORTED_LOCATION ${KD_ZLIB_LIBRARY}
  INTERFACE_INCLUDE_DIRECTORIES ${KD_ZLIB_INCLUDE_DIR})

if(WIN32)
  set(KD_EXPAT_DIR /usr/local/src/expat/expat CACHE PATH
      "expat's sources for the Windows builds: the folder holding lib/xmlparse.c")
  if(NOT EXISTS ${KD_EXPAT_DIR}/lib/xmlparse.c)
    message(FATAL_ERROR "expat's sources are not in ${KD_EXPAT_DIR}: scripts/setup.sh fetches "
                        "them (Debian's source package, apt-get source expat), or name their "
                        "folder with -DKD_EXPAT_DIR=<folder holding lib/xmlparse.c>")
  endif()
  # What expat's own build would find on Windows, as Debian configures its
  # library: namespaces, and DTD support, which carries the protection against
  # entity expansion attacks.
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/expat/expat_config.h CONTENT
"#ifndef EXPAT_CONFIG_H
#define EXPAT_CONFIG_H 1
#define BYTEORDER 1234
#define XML_NS 1
#define XML_DTD 1
#define XML_CONTEXT_BYTES 1024
#define HAVE_STDINT_H 1
#define HAVE_STDLIB_H 1
#define HAVE_STRING_H 1
#define HAVE_MEMORY_H 1
#define PACKAGE \"expat\"
#endif
")
  add_library(kd_expat STATIC
      ${KD_EXPAT_DIR}/lib/xmlparse.c
      ${KD_EXPAT_DIR}/lib/xmlrole.c
      ${KD_EXPAT_DIR}/lib/xmltok.c)
  target_include_directories(kd_expat PRIVATE ${CMAKE_BINARY_DIR}/expat)
  target_include_directories(kd_expat SYSTEM PUBLIC ${KD_EXPAT_DIR}/lib)
  # Static: expat.h then declares no imports from a DLL.
  target_compile_definitions(kd_expat PUBLIC XML_STATIC)
  # Not our code: its warnings are its maintainers'.
  target_compile_options(kd_expat PRIVATE -w)
  set_target_properties(kd_expat PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
else()
  find_path(KD_EXPAT_INCLUDE_DIR expat.h)
  find_library(KD_EXPAT_LIBRARY NAMES libexpat.a)
  if(NOT KD_EXPAT_INCLUDE_DIR OR NOT KD_EXPAT_LIBRARY)
    message(FATAL_ERROR "expat's static library libexpat.a is missing: install libexpat1-dev "
                        "(scripts/setup.sh does)")
  endif()
  add_library(kd_expat STATIC IMPORTED)
  set_target_properties(kd_expat PROPERTIES
    IMPORTED_LOCATION ${KD_EXPAT_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${KD_EXPAT_INCLUDE_DIR})
endif()
