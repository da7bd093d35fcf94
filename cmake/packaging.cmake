# Installing the program the way a Linux desktop expects (bin/, lib/vx3wt/, share/vx3wt/, a
# desktop entry with its icon, a manual page) and the Debian package made from that install.
# The build folder's program folder stays as it is; this lays out the same files apart.
include(GNUInstallDirs)

set(VX3WT_INSTALL_KIT_DIR ${CMAKE_INSTALL_DATADIR}/vx3wt)
set(VX3WT_INSTALL_BRIDGE_DIR lib/vx3wt)
set(VX3WT_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)
set(VX3WT_PACKAGING_BINARY_DIR ${CMAKE_BINARY_DIR}/packaging)

if(TARGET vx3wt)
  install(TARGETS vx3wt RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
# The console program, once the tree has one.
foreach(cli vx3wt-cli vx3wt_cli)
  if(TARGET ${cli})
    install(TARGETS ${cli} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The bridge library is loaded by path, never linked: a private library, not executable.
if(TARGET vx3wt_writer_sim)
  install(TARGETS vx3wt_writer_sim
    LIBRARY DESTINATION ${VX3WT_INSTALL_BRIDGE_DIR}/DLL
    PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  install(FILES ${CMAKE_SOURCE_DIR}/writer_sim/VX3USBOV3Wt.ini DESTINATION ${VX3WT_INSTALL_BRIDGE_DIR}/DLL)
endif()

# Language files, device kit and Writer firmware files.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/ DESTINATION ${VX3WT_INSTALL_KIT_DIR})
# The sample images are made afresh for the install, so that a rolling count or a read-back file
# left in the build's samples folder never ships.
if(TARGET vx3wt_make_samples)
  install(CODE "
    set(samples \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${VX3WT_INSTALL_KIT_DIR}/samples\")
    message(STATUS \"Making the sample images: \${samples}\")
    file(MAKE_DIRECTORY \"\${samples}\")
    execute_process(COMMAND \"$<TARGET_FILE:vx3wt_make_samples>\" \"\${samples}\" RESULT_VARIABLE made)
    if(NOT made EQUAL 0)
      message(FATAL_ERROR \"the sample images could not be made\")
    endif()")
endif()

# Desktop entry, icon, manual page, and the Debian documents of the package.
configure_file(${VX3WT_PACKAGING_DIR}/vx3wt.1 ${VX3WT_PACKAGING_BINARY_DIR}/vx3wt.1 @ONLY)
configure_file(${VX3WT_PACKAGING_DIR}/vx3wt-cli.1 ${VX3WT_PACKAGING_BINARY_DIR}/vx3wt-cli.1 @ONLY)
# A native package (its version has no Debian revision): the changelog is changelog.gz.
configure_file(${VX3WT_PACKAGING_DIR}/changelog ${VX3WT_PACKAGING_BINARY_DIR}/changelog @ONLY)
find_program(VX3WT_GZIP gzip)
set(VX3WT_PACKAGING_GZ ${VX3WT_PACKAGING_BINARY_DIR}/vx3wt.1.gz ${VX3WT_PACKAGING_BINARY_DIR}/vx3wt-cli.1.gz
  ${VX3WT_PACKAGING_BINARY_DIR}/changelog.gz)
if(VX3WT_GZIP)
  # -n: no name or time stamp inside, so the same sources give the same package.
  add_custom_command(
    OUTPUT ${VX3WT_PACKAGING_GZ}
    COMMAND ${VX3WT_GZIP} -9nkf ${VX3WT_PACKAGING_BINARY_DIR}/vx3wt.1 ${VX3WT_PACKAGING_BINARY_DIR}/vx3wt-cli.1
            ${VX3WT_PACKAGING_BINARY_DIR}/changelog
    DEPENDS ${VX3WT_PACKAGING_BINARY_DIR}/vx3wt.1 ${VX3WT_PACKAGING_BINARY_DIR}/vx3wt-cli.1
            ${VX3WT_PACKAGING_BINARY_DIR}/changelog
    COMMENT "Compressing the manual page and the package changelog")
  add_custom_target(vx3wt_packaging_docs ALL DEPENDS ${VX3WT_PACKAGING_GZ})
  install(FILES ${VX3WT_PACKAGING_BINARY_DIR}/vx3wt.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  if(TARGET vx3wt-cli)
    install(FILES ${VX3WT_PACKAGING_BINARY_DIR}/vx3wt-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  install(FILES ${VX3WT_PACKAGING_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()
install(FILES ${VX3WT_PACKAGING_DIR}/vx3wt.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/resources/icon128.png
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps RENAME vx3wt.png)
install(FILES ${VX3WT_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The Debian package: its dependencies are computed from the installed binaries by
# dpkg-shlibdeps, so they are the package names of the Debian release it is built on.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vx3wt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "VX3WT maintainers")
set(CPACK_PACKAGE_CONTACT "VX3WT maintainers <maintainers@users.noreply.c-seed-0ab2ac74.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program of the Orvel Writer production programmer")
set(CPACK_PACKAGE_DESCRIPTION [=[VX3WT loads firmware images (.VX3, .BIN) with the chip's device files,
 prepares the Orvel Writer for stand-alone mass production and drives Auto
 Program, Blank Check, Program, Verify and Read of VX3 microcontrollers. It
 ships a simulated Writer as its default bridge library, so it does its whole
 job without the hardware.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's Chinese texts need a CJK font.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/vx3wt")
include(CPack)
