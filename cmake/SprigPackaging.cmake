# Installation and packages of Sprig, included once from the top-level file
# after every target exists.
#
#   cmake --install <build> --prefix <dir>   headers (sprig.h, sprig_exact.h),
#       libsprig.so / Sprig.dll, libsprig-exact.so / SprigExact.dll, libsprig.a,
#       the sprig tool, lib/cmake/Sprig (find_package(Sprig) gives Sprig::sprig,
#       Sprig::sprig_exact and Sprig::sprig_static) and lib/pkgconfig/sprig.pc
#   cmake --build <build> --target package   CPack: a ZIP on Windows (bin/Sprig.dll,
#       bin/SprigExact.dll, bin/sprig.exe, include/sprig.h, include/sprig_exact.h,
#       lib/libSprig.dll.a, lib/libSprigExact.dll.a, lib/Sprig.lib, lib/SprigExact.lib),
#       a .tar.gz elsewhere
# On Windows Sprig.dll also gets a version resource, and lib/Sprig.lib, an import
# library MSVC can link, is made from src/api/Sprig.def with dlltool.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The same target name inside this tree as for an installed package.
add_library(Sprig::sprig ALIAS sprig)
add_library(Sprig::sprig_exact ALIAS sprig_exact)
add_library(Sprig::sprig_static ALIAS sprig_static)

# ---------------------------------------------------------------------------
# Shared libraries: version and symbol binding
# ---------------------------------------------------------------------------
# sprig_library_conventions(<target>): for every shared library of the project
# (sprig, and sprig_exact when that target exists).
#  - The file carries the version, the SONAME the major version only:
#    libsprig.so -> libsprig.so.2 -> libsprig.so.2.2. DLL names carry none.
#  - -Bsymbolic-functions binds the library's calls to its own exported
#    functions at link time: a program that defines a GlobalFree (or an sg
#    name) of its own never receives the library's internal calls.
function(sprig_library_conventions target)
  if(WIN32)
    return()
  endif()
  set_target_properties(${target} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  target_link_options(${target} PRIVATE -Wl,-Bsymbolic-functions)
endfunction()
foreach(_target sprig sprig_exact)
  if(TARGET ${_target})
    sprig_library_conventions(${_target})
  endif()
endforeach()

# ---------------------------------------------------------------------------
# Static library: what a C program needs besides libsprig.a
# ---------------------------------------------------------------------------
# The archive holds C++ objects; a program linked by a C compiler must add the
# C++ runtime: the libraries the C++ driver links and the C driver does not
# (stdc++ and m with g++, the same under mingw-w64), and the thread library
# where it is separate from the C library. Carried by Sprig::sprig_static and
# listed in sprig.pc's Libs.private.
set(SPRIG_STATIC_RUNTIME ${CMAKE_CXX_IMPLICIT_LINK_LIBRARIES})
# libgcc is the C driver's own business (a static or shared libgcc, by its
# options): naming gcc_s here would tie static Windows programs to its DLL.
list(REMOVE_ITEM SPRIG_STATIC_RUNTIME ${CMAKE_C_IMPLICIT_LINK_LIBRARIES} gcc gcc_s)
if(NOT WIN32)
  find_package(Threads REQUIRED)
  list(APPEND SPRIG_STATIC_RUNTIME ${CMAKE_THREAD_LIBS_INIT})
endif()
list(REMOVE_DUPLICATES SPRIG_STATIC_RUNTIME)
target_link_libraries(sprig_static INTERFACE ${SPRIG_STATIC_RUNTIME})
set(SPRIG_PC_LIBS_PRIVATE "")
foreach(_lib IN LISTS SPRIG_STATIC_RUNTIME)
  if(_lib MATCHES "^-")
    string(APPEND SPRIG_PC_LIBS_PRIVATE " ${_lib}")
  else()
    string(APPEND SPRIG_PC_LIBS_PRIVATE " -l${_lib}")
  endif()
endforeach()
if(WIN32)
  string(APPEND SPRIG_PC_LIBS_PRIVATE " -luser32")
endif()
string(STRIP "${SPRIG_PC_LIBS_PRIVATE}" SPRIG_PC_LIBS_PRIVATE)

# Exported include paths: the source tree while building, include/ once installed.
set_property(TARGET sprig sprig_exact PROPERTY INTERFACE_INCLUDE_DIRECTORIES
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_property(TARGET sprig_static PROPERTY INTERFACE_INCLUDE_DIRECTORIES
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/src>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

# ---------------------------------------------------------------------------
# Windows: version resource and MSVC import library
# ---------------------------------------------------------------------------
if(WIN32)
  enable_language(RC)
  set(SPRIG_RC ${CMAKE_BINARY_DIR}/generated/sprig.rc)
  configure_file(${PROJECT_SOURCE_DIR}/src/api/sprig.rc.in ${SPRIG_RC} @ONLY)
  target_sources(sprig PRIVATE ${SPRIG_RC})

  find_program(SPRIG_DLLTOOL NAMES ${SPRIG_MINGW_TRIPLE}-dlltool x86_64-w64-mingw32-dlltool dlltool
               REQUIRED)
  # Sprig.lib from Sprig.def, SprigExact.lib from SprigExact.def.
  set(_dlls Sprig SprigExact)
  set(_defs ${PROJECT_SOURCE_DIR}/src/api/Sprig.def ${PROJECT_SOURCE_DIR}/src/api/exact/SprigExact.def)
  foreach(_dll _def IN ZIP_LISTS _dlls _defs)
    set(_implib ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/${_dll}.lib)
    add_custom_command(OUTPUT ${_implib}
      COMMAND ${SPRIG_DLLTOOL} -m i386:x86-64 -d ${_def} -D ${_dll}.dll -l ${_dll}.lib
      WORKING_DIRECTORY ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}
      DEPENDS ${_def}
      COMMENT "Import library for MSVC: ${_dll}.lib"
      VERBATIM)
    list(APPEND SPRIG_MSVC_IMPLIBS ${_implib})
  endforeach()
  add_custom_target(sprig_msvc_implib ALL DEPENDS ${SPRIG_MSVC_IMPLIBS})
  install(FILES ${SPRIG_MSVC_IMPLIBS} DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

# ---------------------------------------------------------------------------
# Install rules
# ---------------------------------------------------------------------------
install(TARGETS sprig sprig_exact sprig_static EXPORT SprigTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS sprig_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/sprig.h ${PROJECT_SOURCE_DIR}/include/sprig_exact.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(SPRIG_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Sprig)
install(EXPORT SprigTargets NAMESPACE Sprig:: DESTINATION ${SPRIG_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/SprigConfig.cmake.in
  ${CMAKE_BINARY_DIR}/generated/SprigConfig.cmake INSTALL_DESTINATION ${SPRIG_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/generated/SprigConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/generated/SprigConfig.cmake
              ${CMAKE_BINARY_DIR}/generated/SprigConfigVersion.cmake
        DESTINATION ${SPRIG_CMAKE_DIR})

# sprig.pc finds its prefix from its own place, so `cmake --install --prefix`
# at any path gives a correct file.
file(RELATIVE_PATH SPRIG_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" SPRIG_PC_TO_PREFIX "${SPRIG_PC_TO_PREFIX}")
if(WIN32)
  set(SPRIG_PC_LIBNAME Sprig)          # libSprig.dll.a, the import library
else()
  set(SPRIG_PC_LIBNAME sprig)
endif()
configure_file(${PROJECT_SOURCE_DIR}/cmake/sprig.pc.in ${CMAKE_BINARY_DIR}/generated/sprig.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/sprig.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# ---------------------------------------------------------------------------
# CPack
# ---------------------------------------------------------------------------
set(CPACK_PACKAGE_NAME Sprig)
set(CPACK_PACKAGE_VENDOR "Sprig")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Forgiving document-object model for XML and loose HTML")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES TRUE)  # no debug information in the packages
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR TGZ)
endif()
include(CPack)
