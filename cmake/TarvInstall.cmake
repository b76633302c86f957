# What `cmake --install` puts under the prefix, the pkg-config file, the CMake
# package and the Debian package:
#
#   lib/libtarv_core.so.2.0.1, libtarv_core.so.2, libtarv_core.so
#   lib/pkgconfig/tarv_core.pc
#   lib/cmake/tarv_core/    find_package(tarv_core) -> tarv_core::tarv_core
#   include/tarv_core.h
#   share/tarv_core/tarv_core.proto
#   bin/tarv                when the tool is built
#   lib/python3/dist-packages/tarv_core/   the Python package, when built
#   share/java/tarv-core.jar               the Java binding, when built
#
# Every installed path is relative to the prefix chosen at install time.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TARV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/tarv_core)
set(TARV_PROTO_DIR ${CMAKE_INSTALL_DATADIR}/tarv_core)

# The soname carries the ABI generation: libtarv_core.so.2 -> .so.2.0.1.
set_target_properties(tarv_core PROPERTIES VERSION ${PROJECT_VERSION}
                                           SOVERSION ${PROJECT_VERSION_MAJOR})

install(TARGETS tarv_core EXPORT tarv_core_targets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/tarv_core.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/proto/tarv_core.proto DESTINATION ${TARV_PROTO_DIR})

# The CMake package: relocatable, found through CMAKE_PREFIX_PATH or the prefix.
install(EXPORT tarv_core_targets NAMESPACE tarv_core:: FILE tarv_core-targets.cmake
        DESTINATION ${TARV_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/tarv_core-config.cmake.in
                              ${PROJECT_BINARY_DIR}/tarv_core-config.cmake
                              INSTALL_DESTINATION ${TARV_CMAKE_DIR}
                              PATH_VARS TARV_PROTO_DIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/tarv_core-config-version.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/tarv_core-config.cmake
              ${PROJECT_BINARY_DIR}/tarv_core-config-version.cmake
        DESTINATION ${TARV_CMAKE_DIR})

# The pkg-config file names the prefix given at install time (--prefix, or
# /usr inside the Debian package), so it is written when installing.
set(TARV_PC_PREFIX "@CMAKE_INSTALL_PREFIX@")
configure_file(${CMAKE_CURRENT_LIST_DIR}/tarv_core.pc.in ${PROJECT_BINARY_DIR}/tarv_core.pc.in
               @ONLY)
install(CODE "
  set(pc \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig/tarv_core.pc\")
  message(STATUS \"Installing: \${pc}\")
  configure_file(\"${PROJECT_BINARY_DIR}/tarv_core.pc.in\" \"\${pc}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${pc}\")")

# The tool, found beside the library it loads.
if(TARGET tarv)
  set_target_properties(tarv PROPERTIES INSTALL_RPATH "\$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  install(TARGETS tarv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# The Debian package: `cpack -G DEB` in the build directory.
set(CPACK_PACKAGE_NAME tarv-core)
set(CPACK_PACKAGE_VENDOR "tarv_core")
set(CPACK_PACKAGE_CONTACT "tarv_core maintainers <tarv-core@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Computing core of a fiscal cash register")
set(CPACK_PACKAGE_DESCRIPTION
    "A shared library of plain C exports that a cash-register application calls once per
fiscal document with one Protocol Buffers request; with its header, schema, pkg-config
file, CMake package and the tarv tool.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
# Versioned dependencies from the linked libraries (libc6, and for the tool
# libprotobuf32, libfmt9, libsqlite3-0, libpq5, libssl3, libstdc++6 and
# libgcc-s1), an shlibs
# file and the ldconfig trigger for the library. Without dpkg-shlibdeps
# (dpkg-dev) the same names unversioned.
find_program(TARV_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TARV_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
elseif(TARGET tarv)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libc6, libprotobuf32, libfmt9, libsqlite3-0, libpq5, libssl3, libstdc++6, libgcc-s1")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
endif()
# The Python package needs python3-protobuf, the jar JNA and protobuf-java.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "python3-protobuf, libjna-java, libprotobuf-java")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
include(CPack)
