# Installation for the desktop and the Debian package.
#
# The program (app/) and the simulator (sim/) carry their own install rules. Here go the
# files that make the program show up in a freedesktop.org desktop: the menu entry and the
# icon in the sizes the window uses. On Windows and macOS the icon travels inside the
# program, so nothing beyond the program is installed there.

set(QUORLIN_ICON_DIR ${PROJECT_SOURCE_DIR}/app/icons)

if(UNIX AND NOT APPLE)
    foreach(size 16 32 48)
        install(FILES ${QUORLIN_ICON_DIR}/quorlin-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME quorlin.png)
    endforeach()
    if(EXISTS ${QUORLIN_ICON_DIR}/quorlin.svg)
        install(FILES ${QUORLIN_ICON_DIR}/quorlin.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    endif()
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/quorlin.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()

# The package. `cpack -G DEB` (or the `package` target) in the build folder makes
# quorlin_<version>-1_<arch>.deb; the desktop's menu and icon caches are refreshed by the
# system's own triggers on /usr/share/applications and /usr/share/icons/hicolor.
set(CPACK_PACKAGE_NAME quorlin)
set(CPACK_PACKAGE_VENDOR "Quorlin developers")
set(CPACK_PACKAGE_CONTACT "Quorlin developers <dev@example.com>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop console for ESP8266 modules over a serial line")
# The long description, one paragraph, lines kept under 80 columns for dpkg.
set(CPACK_PACKAGE_DESCRIPTION
    "Quorlin drives an ESP8266 Wi-Fi module with its text AT command set over
a serial line. Pick the port, the speed and the stop bits, open the port
and press buttons: each sends one AT command line, fixed or composed from
the values typed into the window. The send log shows what went out, the
receive log what the module answers, and two counters the bytes sent and
received. The user interface is in Chinese. The package also holds
quorlin-sim, a simulated module on a pseudo-terminal, to try the console
without hardware.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Quorlin)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_NAME quorlin)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Quorlin developers <dev@example.com>")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Declared by hand. The C and C++ run-time floors are what the shared-library scan of a
# Debian 12 build asks for. The xcb platform plugin ships in libqt6gui6 on Debian 12, the
# other platform plugins in qt6-qpa-plugins. The GBK codec comes from ICU, which libqt6core6
# brings, or else from Qt's compatibility module (libqt6core5compat6), which the program
# links either way. The window's text is Chinese, so a CJK font must be there to draw it.
set(QUORLIN_DEB_DEPENDS
    "libc6 (>= 2.34)"
    "libgcc-s1 (>= 3.0)"
    "libstdc++6 (>= 11)"
    "libqt6core6 (>= 6.4)"
    "libqt6gui6 (>= 6.4)"
    "libqt6widgets6 (>= 6.4)"
    "libqt6serialport6 (>= 6.4)"
    "libqt6core5compat6 (>= 6.4)"
    "qt6-qpa-plugins"
    "fonts-noto-cjk"
)
list(JOIN QUORLIN_DEB_DEPENDS ", " CPACK_DEBIAN_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS OFF)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

if(NOT CPACK_GENERATOR)
    if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
        set(CPACK_GENERATOR DEB)
    else()
        set(CPACK_GENERATOR ZIP)
    endif()
endif()

include(CPack)
