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

# The release this build makes, as packaging/release.cmake gives it; the version is the
# project's (top-level CMakeLists.txt).
set(QUORLIN_DEB_VERSION ${PROJECT_VERSION}-${QUORLIN_DEB_RELEASE})
if(NOT QUORLIN_MAINTAINER_EMAIL MATCHES "^[^@ <>]+@[^@ <>]+$")
    message(FATAL_ERROR "QUORLIN_MAINTAINER_EMAIL in packaging/release.cmake is no mail "
        "address: \"${QUORLIN_MAINTAINER_EMAIL}\"")
endif()
set(QUORLIN_MAINTAINER "${QUORLIN_DEVELOPER} <${QUORLIN_MAINTAINER_EMAIL}>")
set(QUORLIN_PACKAGING_DIR ${PROJECT_BINARY_DIR}/packaging)

# The release date as the Debian changelog writes it ("Mon, 07 Dec 2026 12:00:00 +0000"),
# from the one date of release.cmake. CMake formats a time only from the clock or from
# SOURCE_DATE_EPOCH, so the day is turned into seconds and formatted through that; a date
# that is no day of the calendar stops the configure.
function(quorlin_changelog_date date out)
    if(NOT date MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
        message(FATAL_ERROR "QUORLIN_RELEASE_DATE in packaging/release.cmake is not "
            "YYYY-MM-DD: \"${date}\"")
    endif()
    # Days since 1970-01-01, counting each year from March so that the leap day comes last.
    set(year ${CMAKE_MATCH_1})
    set(month ${CMAKE_MATCH_2})
    if(month LESS_EQUAL 2)
        math(EXPR year "${year} - 1")
        math(EXPR month "${month} + 9")
    else()
        math(EXPR month "${month} - 3")
    endif()
    math(EXPR days "${year} * 365 + ${year} / 4 - ${year} / 100 + ${year} / 400 + \
                    (153 * ${month} + 2) / 5 + ${CMAKE_MATCH_3} - 1 - 719468")
    math(EXPR noon "${days} * 86400 + 43200")
    set(caller_epoch "$ENV{SOURCE_DATE_EPOCH}")
    set(ENV{SOURCE_DATE_EPOCH} ${noon})
    string(TIMESTAMP changelog "%a, %d %b %Y %H:%M:%S +0000" UTC)
    string(TIMESTAMP again "%Y-%m-%d" UTC)
    if(DEFINED caller_epoch AND NOT caller_epoch STREQUAL "")
        set(ENV{SOURCE_DATE_EPOCH} "${caller_epoch}")
    else()
        unset(ENV{SOURCE_DATE_EPOCH})
    endif()
    if(NOT again STREQUAL date)
        message(FATAL_ERROR "QUORLIN_RELEASE_DATE in packaging/release.cmake is no day of "
            "the calendar: ${date}")
    endif()
    set(${out} "${changelog}" PARENT_SCOPE)
endfunction()
quorlin_changelog_date(${QUORLIN_RELEASE_DATE} QUORLIN_RELEASE_DATE_CHANGELOG)

# The release's texts as they go into the AppStream metadata, an XML file.
foreach(name DEVELOPER MAINTAINER_EMAIL SCREENSHOT_URL HOMEPAGE)
    string(REPLACE "&" "&amp;" xml "${QUORLIN_${name}}")
    string(REPLACE "<" "&lt;" xml "${xml}")
    string(REPLACE ">" "&gt;" QUORLIN_${name}_XML "${xml}")
endforeach()

# AppStream metadata for software centres. The screenshot is taken by the build itself
# (the real-window suite saves it in <build>/screenshots); AppStream wants it as an https
# address, so publish that folder and give the picture's address in release.cmake. The
# package's Homepage field and the AppStream address appear only once a web page is given.
set(QUORLIN_METAINFO_HOMEPAGE "")
if(QUORLIN_HOMEPAGE)
    set(QUORLIN_METAINFO_HOMEPAGE "<url type=\"homepage\">${QUORLIN_HOMEPAGE_XML}</url>")
endif()
set(QUORLIN_METAINFO ${QUORLIN_PACKAGING_DIR}/${QUORLIN_APPSTREAM_ID}.metainfo.xml)
configure_file(${CMAKE_CURRENT_LIST_DIR}/quorlin.metainfo.xml.in ${QUORLIN_METAINFO} @ONLY)

if(UNIX AND NOT APPLE)
    install(FILES ${QUORLIN_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # Debian's copyright file, in the machine-readable format; the licence is LICENSE's.
    configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright.in ${QUORLIN_PACKAGING_DIR}/copyright
        @ONLY)
    install(FILES ${QUORLIN_PACKAGING_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorlin)

    # The Debian changelog, compressed the way Debian wants it (no name, no time stamp).
    configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${QUORLIN_PACKAGING_DIR}/changelog @ONLY)
    find_program(QUORLIN_GZIP gzip)
    if(NOT QUORLIN_GZIP)
        message(FATAL_ERROR "gzip not found: the Debian changelog and manual pages need it")
    endif()
    add_custom_command(OUTPUT ${QUORLIN_PACKAGING_DIR}/changelog.Debian.gz
        COMMAND ${QUORLIN_GZIP} -9nf --keep ${QUORLIN_PACKAGING_DIR}/changelog
        COMMAND ${CMAKE_COMMAND} -E rename ${QUORLIN_PACKAGING_DIR}/changelog.gz
            ${QUORLIN_PACKAGING_DIR}/changelog.Debian.gz
        DEPENDS ${QUORLIN_PACKAGING_DIR}/changelog
        VERBATIM)
    add_custom_target(debian_changelog ALL DEPENDS ${QUORLIN_PACKAGING_DIR}/changelog.Debian.gz)
    install(FILES ${QUORLIN_PACKAGING_DIR}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorlin)

    # Manual pages, made from each program's --help and --version by help2man, with what
    # <program>.h2m adds (quorlin's: ports, permissions, sending, GBK, when nothing
    # answers). Without help2man the build goes on without them, but a package needs them.
    # help2man writes in the C locale unless told otherwise, which turns every Chinese
    # caption into question marks.
    find_program(QUORLIN_HELP2MAN help2man)
    if(QUORLIN_HELP2MAN)
        set(QUORLIN_MAN_quorlin "console for ESP8266 Wi-Fi modules over a serial line")
        set(QUORLIN_MAN_quorlin-sim "simulated ESP8266 module on a pseudo-terminal")
        set(_pages)
        foreach(program quorlin quorlin-sim)
            set(_page ${QUORLIN_PACKAGING_DIR}/${program}.1)
            set(_include ${CMAKE_CURRENT_LIST_DIR}/${program}.h2m)
            set(_include_option)
            if(EXISTS ${_include})
                set(_include_option --include=${_include})
            else()
                set(_include)
            endif()
            add_custom_command(OUTPUT ${_page}.gz
                COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
                    SOURCE_DATE_EPOCH=${QUORLIN_SOURCE_DATE_EPOCH} ${QUORLIN_HELP2MAN} --no-info --section=1 "--name=${QUORLIN_MAN_${program}}"
                    --locale=C.UTF-8 ${_include_option} --output=${_page} $<TARGET_FILE:${program}>
                COMMAND ${QUORLIN_GZIP} -9nf ${_page}
                DEPENDS ${program} ${_include}
                COMMENT "Manual page ${program}.1"
                VERBATIM)
            list(APPEND _pages ${_page}.gz)
        endforeach()
        add_custom_target(manpages ALL DEPENDS ${_pages})
        install(FILES ${_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    else()
        message(STATUS "help2man not found: no manual pages (the Debian package needs them)")
    endif()
endif()

# The package. `cpack -G DEB` (or the `package` target) in the build folder makes
# quorlin_<version>-1_<arch>.deb; the desktop's menu and icon caches are refreshed by the
# system's own triggers on /usr/share/applications and /usr/share/icons/hicolor.
set(CPACK_PACKAGE_NAME quorlin)
set(CPACK_PACKAGE_VENDOR ${QUORLIN_DEVELOPER})
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
# The programs go stripped into the package, and their debugging information, split off by
# build id, into quorlin-dbgsym (/usr/lib/debug/.build-id/xx/yyyy.debug), as Debian ships
# it: a debugger, or whoever reads a crash report, finds the names there. splitdebug.cmake
# does both between the staging and the packing, so cpack must not strip the programs first.
# cpack runs such scripts from CMake 3.19 on; an older one strips the programs itself and
# makes no debug symbols package.
set(CPACK_STRIP_FILES ON)
if(UNIX AND NOT APPLE AND NOT CMAKE_VERSION VERSION_LESS 3.19)
    set(CPACK_STRIP_FILES OFF)
    find_program(QUORLIN_DPKG_DEB dpkg-deb)
    set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/splitdebug.cmake)
    set(CPACK_QUORLIN_OBJCOPY ${CMAKE_OBJCOPY})
    set(CPACK_QUORLIN_STRIP ${CMAKE_STRIP})
    set(CPACK_QUORLIN_READELF ${CMAKE_READELF})
    set(CPACK_QUORLIN_DPKG_DEB ${QUORLIN_DPKG_DEB})
    set(CPACK_QUORLIN_DEB_VERSION ${QUORLIN_DEB_VERSION})
    set(CPACK_QUORLIN_MAINTAINER ${QUORLIN_MAINTAINER})
endif()

set(CPACK_DEBIAN_PACKAGE_NAME quorlin)
set(CPACK_DEBIAN_PACKAGE_RELEASE ${QUORLIN_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${QUORLIN_MAINTAINER})
# Where the other serial consoles are.
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(QUORLIN_HOMEPAGE)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${QUORLIN_HOMEPAGE}")
endif()
# The shared libraries and their versions come from dpkg-shlibdeps, as in any Debian
# package. It cannot see what the programs load at run time: the platform plugin (xcb,
# with offscreen and minimal, is in libqt6gui6; the Wayland one in qt6-wayland) and the
# fonts. The window's text is Chinese, so some CJK font must be there to draw it; any of
# these will do. The GBK codec comes from ICU, which libqt6core6 brings.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-noto-cjk | fonts-wqy-microhei | fonts-droid-fallback")
# The Wayland platform plugin, so that the window opens natively on a Wayland desktop, and
# Qt's own texts (message box buttons, context menus) in Chinese; without them the window
# goes through XWayland and those texts stay English, and everything else works.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The times in the package (its archive members and every file in it) are the sources'
# time, so that two builds of one commit give the same bytes; cpack reads this file when
# it runs, and takes SOURCE_DATE_EPOCH from its caller when set.
set(CPACK_QUORLIN_SOURCE_DATE_EPOCH ${QUORLIN_SOURCE_DATE_EPOCH})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpacktime.cmake)

if(NOT CPACK_GENERATOR)
    if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
        set(CPACK_GENERATOR DEB)
    else()
        set(CPACK_GENERATOR ZIP)
    endif()
endif()

include(CPack)

# The checks a packager and a software centre run, as tests: the desktop entry and the
# AppStream metadata (label "validate"), and lintian on the package itself (label
# "package"; it makes the package with cpack first). A missing tool fails its test.
if(UNIX AND NOT APPLE AND QUORLIN_BUILD_TESTS)
    function(quorlin_add_tool_test name tool)
        find_program(QUORLIN_TOOL_${tool} ${tool})
        if(QUORLIN_TOOL_${tool})
            add_test(NAME ${name} COMMAND ${QUORLIN_TOOL_${tool}} ${ARGN})
        else()
            add_test(NAME ${name} COMMAND ${CMAKE_COMMAND} -E echo
                "${tool} is not installed (tools/deps.sh test installs it)")
            set_tests_properties(${name} PROPERTIES WILL_FAIL ON)
        endif()
        set_tests_properties(${name} PROPERTIES LABELS validate)
    endfunction()
    quorlin_add_tool_test(validate_desktop_entry desktop-file-validate
        ${CMAKE_CURRENT_LIST_DIR}/quorlin.desktop)
    quorlin_add_tool_test(validate_metainfo appstreamcli validate --no-net --strict --explain
        ${QUORLIN_METAINFO})

    # The package is made from the normal build only. lintian_package makes it; the
    # programs in it are then checked for hardening and a run-time library path. Two clean
    # builds of the last commit in other folders must give the same package, byte for byte.
    if(NOT QUORLIN_SANITIZE)
        add_test(NAME lintian_package COMMAND ${CMAKE_COMMAND}
            -DCPACK=${CMAKE_CPACK_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
            -DPACKAGE=${CPACK_PACKAGE_NAME}_${QUORLIN_DEB_VERSION}
            -P ${CMAKE_CURRENT_LIST_DIR}/checkpackage.cmake)
        set_tests_properties(lintian_package PROPERTIES LABELS package TIMEOUT 600 RUN_SERIAL ON
            FIXTURES_SETUP quorlin_deb)
        add_test(NAME package_binaries COMMAND ${CMAKE_COMMAND}
            -DBUILD_DIR=${PROJECT_BINARY_DIR}
            -DPACKAGE=${CPACK_PACKAGE_NAME}_${QUORLIN_DEB_VERSION}
            -P ${CMAKE_CURRENT_LIST_DIR}/checkbinaries.cmake)
        set_tests_properties(package_binaries PROPERTIES LABELS package TIMEOUT 120
            FIXTURES_REQUIRED quorlin_deb)
        add_test(NAME package_reproducible COMMAND sh
            ${CMAKE_CURRENT_LIST_DIR}/checkreproducible.sh ${PROJECT_SOURCE_DIR}
            ${PROJECT_BINARY_DIR}/reproducible ${CMAKE_COMMAND} ${CMAKE_CPACK_COMMAND}
            -G ${CMAKE_GENERATOR} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
            -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER})
        set_tests_properties(package_reproducible PROPERTIES LABELS package TIMEOUT 2400
            RUN_SERIAL ON)
    endif()
endif()
