# Checks the programs in the Debian package as a distribution's reviewer does: each one is
# hardened (hardening-check: position-independent, stack protector, checked C library
# calls, read-only relocations bound at start; every unit compiled with stack clash
# protection), carries no RPATH or RUNPATH, is stripped, and has its debugging information
# in the debug symbols package under its build id. The console's manual page has the
# sections a newcomer needs. Run by CTest after lintian_package has made the packages:
#   cmake -DBUILD_DIR=<build> -DPACKAGE=<name>_<version> -P checkbinaries.cmake
foreach(var BUILD_DIR PACKAGE)
    if(NOT ${var})
        message(FATAL_ERROR "checkbinaries.cmake needs -D${var}=...")
    endif()
endforeach()
foreach(tool hardening-check readelf dpkg-deb)
    string(MAKE_C_IDENTIFIER ${tool} var)
    find_program(${var} ${tool})
    if(NOT ${var})
        message(FATAL_ERROR "${tool} is not installed (tools/deps.sh test installs it)")
    endif()
endforeach()

string(REPLACE "_" "-dbgsym_" dbgsym ${PACKAGE})
file(GLOB debs ${BUILD_DIR}/${PACKAGE}_*.deb)
file(GLOB ddebs ${BUILD_DIR}/${dbgsym}_*.ddeb)
if(NOT debs OR NOT ddebs)
    message(FATAL_ERROR "no ${PACKAGE}_*.deb or ${dbgsym}_*.ddeb in ${BUILD_DIR}: the "
        "lintian_package test makes them")
endif()
list(GET debs 0 deb)
list(GET ddebs 0 ddeb)
# Both unpacked into one tree, as they are installed.
set(unpacked ${BUILD_DIR}/package-contents)
file(REMOVE_RECURSE ${unpacked})
execute_process(COMMAND ${dpkg_deb} -x ${deb} ${unpacked} RESULT_VARIABLE rc)
execute_process(COMMAND ${dpkg_deb} -x ${ddeb} ${unpacked} RESULT_VARIABLE ddeb_rc)
file(GLOB programs ${unpacked}/usr/bin/*)
if(NOT rc EQUAL 0 OR NOT ddeb_rc EQUAL 0 OR NOT programs)
    message(FATAL_ERROR "no programs in ${deb} (dpkg-deb status ${rc}, ${ddeb_rc} for ${ddeb})")
endif()

# The build id a program or a debug file carries; empty when it has none.
function(build_id file out)
    execute_process(COMMAND ${readelf} --notes ${file} OUTPUT_VARIABLE notes ERROR_QUIET)
    set(id)
    if(notes MATCHES "Build ID: ([0-9a-f]+)")
        set(id ${CMAKE_MATCH_1})
    endif()
    set(${out} "${id}" PARENT_SCOPE)
endfunction()

# The program's debug file, found the way a debugger finds it: by the program's build id.
# Both carry the same id, the program no symbols and no debugging information of its own
# and a link naming the file, the file the debugging information. Every unit in it was
# compiled with stack clash protection: hardening-check cannot tell, as it recognises only
# the probe loop of a stack allocation of variable size, which these programs have none of.
function(check_debug_file program name)
    build_id(${program} id)
    if(NOT id MATCHES "^(..)(.+)$")
        set(fault "${name} has no build id" PARENT_SCOPE)
        return()
    endif()
    set(debug ${unpacked}/usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug)
    set(debug_name ${CMAKE_MATCH_2}.debug)
    if(NOT EXISTS ${debug})
        set(fault "${name}: no ${debug} in ${ddeb}" PARENT_SCOPE)
        return()
    endif()
    build_id(${debug} debug_id)
    execute_process(COMMAND ${readelf} --section-headers --wide ${program} OUTPUT_VARIABLE sections)
    execute_process(COMMAND ${readelf} --string-dump=.gnu_debuglink ${program}
        OUTPUT_VARIABLE link ERROR_QUIET)
    execute_process(COMMAND ${readelf} --debug-dump=info --dwarf-depth=1 ${debug}
        OUTPUT_VARIABLE units ERROR_QUIET)
    # Each unit's compiler and options, then its language, then its source file.
    string(REGEX MATCHALL "DW_AT_producer[^\n]*\n[^\n]*\n[^\n]*DW_AT_name[^\n]*"
        producers "${units}")
    list(LENGTH producers unit_count)
    list(FILTER producers EXCLUDE REGEX " -fstack-clash-protection")
    list(TRANSFORM producers REPLACE ".*DW_AT_name[^\n]*: " "")
    if(NOT debug_id STREQUAL id)
        set(fault "${name}: build id ${id}, its debug file's ${debug_id}")
    elseif(sections MATCHES "\\.(symtab|debug_info) ")
        set(fault "${name} is not stripped")
    elseif(NOT link MATCHES " ${debug_name}")
        set(fault "${name} does not link to ${debug_name}")
    elseif(unit_count EQUAL 0)
        set(fault "${name}: no debugging information in ${debug}")
    elseif(producers)
        set(fault "${name}: units compiled without -fstack-clash-protection: ${producers}")
    else()
        message(STATUS "${name}: stripped; debug file ${debug} with the same build id, "
            "${unit_count} units, all compiled with -fstack-clash-protection")
        set(fault "")
    endif()
    set(fault "${fault}" PARENT_SCOPE)
endfunction()

set(faults)
foreach(program IN LISTS programs)
    get_filename_component(name ${program} NAME)
    # Control-flow protection is not asked for: Debian 12's C library start files carry no
    # CET marking, so the linker leaves it out of every program, the system's own included.
    execute_process(COMMAND ${hardening_check} --nocfprotection ${program}
        RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    message("${out}")
    if(NOT rc EQUAL 0)
        list(APPEND faults "${name} is not hardened")
    endif()
    execute_process(COMMAND ${readelf} -d ${program} RESULT_VARIABLE rc OUTPUT_VARIABLE dynamic)
    string(REGEX MATCHALL "\\((RPATH|RUNPATH)\\)[^\n]*" paths "${dynamic}")
    if(NOT rc EQUAL 0)
        list(APPEND faults "readelf cannot read ${name}")
    elseif(paths)
        list(APPEND faults "${name} has ${paths}")
    else()
        message(STATUS "${name}: no RPATH, no RUNPATH")
    endif()
    check_debug_file(${program} ${name})
    if(fault)
        list(APPEND faults "${fault}")
    endif()
endforeach()

# quorlin(1) tells a newcomer what the window does not: the sections help2man adds from
# packaging/quorlin.h2m.
set(page ${unpacked}/usr/share/man/man1/quorlin.1.gz)
execute_process(COMMAND gzip -dc ${page} RESULT_VARIABLE rc OUTPUT_VARIABLE text ERROR_QUIET)
if(NOT rc EQUAL 0)
    list(APPEND faults "no manual page ${page}")
endif()
foreach(heading "SERIAL PORTS" PERMISSIONS SENDING "TEXT ON THE WIRE" "WHEN NOTHING ANSWERS"
        OPTIONS "SEE ALSO")
    if(NOT text MATCHES "\n\\.SH \"?${heading}\"?\n")
        list(APPEND faults "quorlin(1) has no section ${heading}")
    endif()
endforeach()
foreach(phrase "sudo usermod \\-aG dialout $USER" "扫描" "GBK" "quorlin\\-sim")
    string(FIND "${text}" "${phrase}" at)
    if(at LESS 0)
        list(APPEND faults "quorlin(1) does not say ${phrase}")
    endif()
endforeach()
if(faults)
    list(JOIN faults "\n" faults)
    message(FATAL_ERROR "${faults}")
endif()
