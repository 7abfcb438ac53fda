# Read by cpack once it has installed the package's files into its staging folder and before
# it packs them (CPACK_PRE_BUILD_SCRIPTS): splits the debugging information off the programs
# the way Debian's package tools do. Each program goes into the package stripped, with a
# link to its debug file; the debug files, named by the programs' build ids, go into the
# package quorlin-dbgsym (a .ddeb beside the .deb), where a debugger looks for them:
#   /usr/lib/debug/.build-id/<first two hex digits of the build id>/<the rest>.debug
if(NOT CPACK_GENERATOR STREQUAL "DEB")
    return()
endif()
foreach(var OBJCOPY STRIP READELF DPKG_DEB DEB_VERSION MAINTAINER)
    if(NOT CPACK_QUORLIN_${var})
        message(FATAL_ERROR "splitdebug.cmake needs CPACK_QUORLIN_${var} (packaging.cmake sets it)")
    endif()
endforeach()

function(quorlin_run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        string(REPLACE ";" " " command "${ARGN}")
        message(FATAL_ERROR "${command} failed (${rc}):\n${out}")
    endif()
    set(quorlin_output "${out}" PARENT_SCOPE)
endfunction()

set(staging ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(tree ${CPACK_TEMPORARY_DIRECTORY}-dbgsym)
file(REMOVE_RECURSE ${tree})
file(GLOB programs ${staging}/bin/*)
if(NOT programs)
    message(FATAL_ERROR "no programs in ${staging}/bin to split the debugging information off")
endif()

set(build_ids)
set(md5sums)
set(installed_kib 0)
foreach(program IN LISTS programs)
    quorlin_run(${CPACK_QUORLIN_READELF} --notes ${program})
    if(NOT quorlin_output MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
        message(FATAL_ERROR "${program} has no build id to name its debug file by")
    endif()
    list(APPEND build_ids ${CMAKE_MATCH_1}${CMAKE_MATCH_2})
    set(name usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
    set(debug ${tree}/${name})
    get_filename_component(folder ${debug} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    quorlin_run(${CPACK_QUORLIN_OBJCOPY} --only-keep-debug --compress-debug-sections ${program}
        ${debug})
    # What Debian's tools take off a program besides its symbols: the compiler's comments.
    quorlin_run(${CPACK_QUORLIN_STRIP} --remove-section=.comment --remove-section=.note ${program})
    quorlin_run(${CPACK_QUORLIN_OBJCOPY} --add-gnu-debuglink=${debug} ${program})

    file(MD5 ${debug} md5)
    string(APPEND md5sums "${md5}  ${name}\n")
    file(SIZE ${debug} bytes)
    math(EXPR installed_kib "${installed_kib} + (${bytes} + 1023) / 1024")
endforeach()

quorlin_run(dpkg --print-architecture)
string(STRIP "${quorlin_output}" architecture)
list(JOIN build_ids " " build_ids)
file(WRITE ${tree}/DEBIAN/control
"Package: quorlin-dbgsym
Version: ${CPACK_QUORLIN_DEB_VERSION}
Auto-Built-Package: debug-symbols
Architecture: ${architecture}
Maintainer: ${CPACK_QUORLIN_MAINTAINER}
Installed-Size: ${installed_kib}
Depends: quorlin (= ${CPACK_QUORLIN_DEB_VERSION})
Section: debug
Priority: optional
Description: debug symbols for quorlin
Build-Ids: ${build_ids}
Package-Type: ddeb
")
file(WRITE ${tree}/DEBIAN/md5sums "${md5sums}")
file(MAKE_DIRECTORY ${tree}/usr/share/doc)
file(CHMOD_RECURSE ${tree}
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
    DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
# The package's documentation is the program package's, which it depends on at the very
# same version.
file(CREATE_LINK quorlin ${tree}/usr/share/doc/quorlin-dbgsym SYMBOLIC)

# dpkg-deb stamps the package with SOURCE_DATE_EPOCH, which cpacktime.cmake has set.
set(ddeb ${CPACK_PACKAGE_DIRECTORY}/quorlin-dbgsym_${CPACK_QUORLIN_DEB_VERSION}_${architecture}.ddeb)
quorlin_run(${CPACK_QUORLIN_DPKG_DEB} --root-owner-group -Zxz --build ${tree} ${ddeb})
message(STATUS "Debug symbols: ${ddeb}")
