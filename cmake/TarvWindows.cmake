# tarv_core.dll, built with MinGW-w64 (included from src/CMakeLists.txt):
#
#   tarv_core.dll        exactly the names of src/tarv_core.def; imports only
#                        DLLs that Windows ships (the C++ runtime, libgcc and
#                        winpthread are linked in statically)
#   libtarv_core.dll.a   import library for MinGW hosts (from the linker)
#   tarv_core.lib        import library for MSVC hosts (dlltool, from the .def)
include(GNUInstallDirs)
set(TARV_DEF_FILE ${PROJECT_SOURCE_DIR}/src/tarv_core.def)

target_sources(tarv_core PRIVATE ${TARV_DEF_FILE})
set_target_properties(tarv_core PROPERTIES PREFIX "" IMPORT_PREFIX "lib" LINK_DEPENDS
                                                                      ${TARV_DEF_FILE})
# With a .def file the linker exports its names only, undecorated.
target_link_options(tarv_core PRIVATE -static -static-libstdc++ -static-libgcc
                    -Wl,--no-undefined)

if(NOT CMAKE_DLLTOOL)
  message(FATAL_ERROR "tarv_core: dlltool is needed for the MSVC import library (CMAKE_DLLTOOL)")
endif()
set(TARV_MSVC_IMPORT_LIB ${CMAKE_BINARY_DIR}/tarv_core.lib)
add_custom_command(
  OUTPUT ${TARV_MSVC_IMPORT_LIB}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${TARV_DEF_FILE} --dllname tarv_core.dll
          --output-lib tarv_core.lib
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  DEPENDS ${TARV_DEF_FILE}
  COMMENT "MSVC import library tarv_core.lib")
add_custom_target(tarv_core_msvc_import_lib ALL DEPENDS ${TARV_MSVC_IMPORT_LIB})
install(FILES ${TARV_MSVC_IMPORT_LIB} DESTINATION ${CMAKE_INSTALL_LIBDIR})
