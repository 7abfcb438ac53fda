# Builds the Debian package and its debug symbols package, and runs lintian on both; fails
# on any lintian error and lists the warnings. Run by CTest from the build folder:
#   cmake -DCPACK=<cpack> -DBUILD_DIR=<build> -DPACKAGE=<name>_<version> -P checkpackage.cmake
foreach(var CPACK BUILD_DIR PACKAGE)
    if(NOT ${var})
        message(FATAL_ERROR "checkpackage.cmake needs -D${var}=...")
    endif()
endforeach()

find_program(LINTIAN lintian)
if(NOT LINTIAN)
    message(FATAL_ERROR "lintian is not installed (tools/deps.sh test installs it)")
endif()

string(REPLACE "_" "-dbgsym_" DBGSYM ${PACKAGE})
file(GLOB old_debs ${BUILD_DIR}/${PACKAGE}_*.deb ${BUILD_DIR}/${DBGSYM}_*.ddeb)
if(old_debs)
    file(REMOVE ${old_debs})
endif()
execute_process(COMMAND ${CPACK} -G DEB
    WORKING_DIRECTORY ${BUILD_DIR}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB debs ${BUILD_DIR}/${PACKAGE}_*.deb)
file(GLOB ddebs ${BUILD_DIR}/${DBGSYM}_*.ddeb)
if(NOT rc EQUAL 0 OR NOT debs OR NOT ddebs)
    message(FATAL_ERROR "cpack -G DEB failed (${rc}) or made no ${PACKAGE}_*.deb and "
        "${DBGSYM}_*.ddeb:\n${out}")
endif()
list(GET debs 0 deb)
list(GET ddebs 0 ddeb)
message(STATUS "packages: ${deb} ${ddeb}")

# --fail-on error: warnings are listed but do not fail; errors do.
execute_process(COMMAND ${LINTIAN} --fail-on error --display-info --no-tag-display-limit ${deb}
    ${ddeb} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}${err}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lintian found errors in ${deb} or ${ddeb} (status ${rc})")
endif()
message(STATUS "lintian: no errors")
