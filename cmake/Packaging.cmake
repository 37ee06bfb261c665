# The Debian package: `cpack -G DEB` in a build folder configured with
# DRAVONEL_PACKAGE makes dravonel_*.deb from the install rules (the programs,
# the generated assets with the bundled map) and the desktop files below. Its
# dependencies come from dpkg-shlibdeps.
if(DRAVONEL_PACKAGE)
  # Debian keeps games in /usr/games and their files in /usr/share/games;
  # the program finds its files relative to its own folder (app/AssetFolder).
  set(CMAKE_INSTALL_BINDIR games)
  set(CMAKE_INSTALL_DATADIR share/games)
  # Debian's hardening: stack protection, checked string and memory calls,
  # read-only relocations. None of them touches the arithmetic.
  add_compile_options(-fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wformat
                      -Werror=format-security)
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
include(GNUInstallDirs)

set(DRAVONEL_VERSION 0.1.0)
set(DRAVONEL_DOC_DIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/dravonel)

# Debian wants manual pages, the changelog and nothing else gzip-compressed,
# with no time stamp in the gzip header (-n) so the package is reproducible.
find_program(DRAVONEL_GZIP gzip REQUIRED)
set(DRAVONEL_MAN_PAGES dravonel dravonel-sim dravonel-soak dravonel-assets)
set(gzipped)
foreach(page ${DRAVONEL_MAN_PAGES})
  set(source ${CMAKE_SOURCE_DIR}/docs/man/${page}.6)
  set(output ${CMAKE_BINARY_DIR}/man/${page}.6.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${DRAVONEL_GZIP} -9 -n -c ${source} > ${output}
    DEPENDS ${source} VERBATIM)
  list(APPEND gzipped ${output})
  install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
endforeach()
set(changelog ${CMAKE_BINARY_DIR}/man/changelog.gz)
add_custom_command(OUTPUT ${changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
  COMMAND ${DRAVONEL_GZIP} -9 -n -c ${CMAKE_SOURCE_DIR}/docs/package/changelog > ${changelog}
  DEPENDS ${CMAKE_SOURCE_DIR}/docs/package/changelog VERBATIM)
add_custom_target(package_docs ALL DEPENDS ${gzipped} ${changelog})

install(FILES ${changelog} ${CMAKE_SOURCE_DIR}/docs/package/copyright
        DESTINATION ${DRAVONEL_DOC_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/docs/package/dravonel.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME dravonel)
set(CPACK_PACKAGE_VERSION ${DRAVONEL_VERSION})
set(CPACK_PACKAGE_VENDOR "Dravonel maintainers")
set(CPACK_PACKAGE_CONTACT
    "Dravonel maintainers <maintainers@users.noreply.c-seed-efe0f011.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "soft-body off-road truck driving simulation")
# The extended description; CPack indents each line and marks the empty one.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Drive a large off-road truck whose chassis and wheels are one soft body
of point masses, springs, joints and wheel elements, simulated in real
time over rolling ground or a heightmap world of dunes, and drawn with
OpenGL. Steer with the keyboard or a gamepad, grab any part of the truck
with the mouse, record and replay drives.

The package also holds the headless simulator dravonel-sim, the soak
driver dravonel-soak and dravonel-assets, the generator of the truck, its
textures and the bundled map.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
