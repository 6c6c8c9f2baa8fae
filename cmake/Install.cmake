# Installation: the libraries, the public headers, the command-line host and the emulators, with a CMake
# package (find_package(Trelvan) gives Trelvan::Trelvan) and a pkg-config file (trelvan.pc).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(TRELVAN_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Trelvan)

# Programs find libTrelvan, and the libraries it opens at run time, in the library folder. Those are
# opened with dlopen from inside Qt, which ignores RUNPATH; an old-style RPATH on the program is honoured.
file(RELATIVE_PATH _trelvan_bin_to_lib ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
set(_trelvan_program_rpath "\$ORIGIN/${_trelvan_bin_to_lib}")

install(TARGETS Trelvan EXPORT TrelvanTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# libTrelvan finds a linked htra_api beside itself.
set_target_properties(Trelvan PROPERTIES INSTALL_RPATH "\$ORIGIN")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/trelvan DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

# MiVISA64 is loaded by name at run time, so it goes beside libTrelvan under its plain name.
if(TARGET MiVISA64)
  install(TARGETS MiVISA64 LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
# libTrelvan links htra_api, so the package must name it too. Its headers belong to the build only (the
# control API of the stand-in is not part of the installed interface). A vendor's own htra_api, when the
# build was pointed at one, is the user's to install.
if(TARGET htra_api AND NOT TRELVAN_HTRA_LIBRARY)
  get_target_property(_htra_includes htra_api INTERFACE_INCLUDE_DIRECTORIES)
  if(_htra_includes)
    set_property(TARGET htra_api PROPERTY INTERFACE_INCLUDE_DIRECTORIES "$<BUILD_INTERFACE:${_htra_includes}>")
  endif()
  install(TARGETS htra_api EXPORT TrelvanTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()

foreach(_program trelvan trelvan-sim-pxa trelvan-sim-sk)
  if(TARGET ${_program})
    set_target_properties(${_program} PROPERTIES INSTALL_RPATH "${_trelvan_program_rpath}")
    install(TARGETS ${_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(EXPORT TrelvanTargets NAMESPACE Trelvan:: DESTINATION ${TRELVAN_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/TrelvanConfig.cmake.in
  ${CMAKE_BINARY_DIR}/TrelvanConfig.cmake
  INSTALL_DESTINATION ${TRELVAN_INSTALL_CMAKEDIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/TrelvanConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/TrelvanConfig.cmake ${CMAKE_BINARY_DIR}/TrelvanConfigVersion.cmake
  DESTINATION ${TRELVAN_INSTALL_CMAKEDIR})

# The .pc file names its prefix relative to itself, so `cmake --install --prefix` anywhere still works.
file(RELATIVE_PATH _trelvan_pc_to_prefix ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" _trelvan_pc_to_prefix "${_trelvan_pc_to_prefix}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/trelvan.pc.in ${CMAKE_BINARY_DIR}/trelvan.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/trelvan.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
