# How the programs are built, as a distribution builds them: hardened, without a run-time
# library path, and the same bytes from the same sources wherever and whenever they are
# built. Included from the top-level CMakeLists.txt after qt_standard_project_setup().

# qt_standard_project_setup() gives installed programs a RUNPATH of $ORIGIN and
# $ORIGIN/../lib. The programs link only libraries from the system's own folders, and a
# distribution refuses a RUNPATH that points anywhere else.
set(CMAKE_INSTALL_RPATH "")

# The time the sources stand at, for whatever the build stamps with a date (the manual
# pages, the times in the package): SOURCE_DATE_EPOCH when the caller sets it, as package
# builders do; otherwise the time of the last commit; otherwise, in sources without git,
# the time of this file, which an archive made by `git archive` sets to the commit's time.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(QUORLIN_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
else()
    find_package(Git QUIET)
    if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
        execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE QUORLIN_SOURCE_DATE_EPOCH
            OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    endif()
    if(NOT QUORLIN_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
        file(TIMESTAMP ${PROJECT_SOURCE_DIR}/CMakeLists.txt QUORLIN_SOURCE_DATE_EPOCH "%s" UTC)
    endif()
endif()
if(NOT QUORLIN_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    message(FATAL_ERROR "SOURCE_DATE_EPOCH is not a number of seconds: ${QUORLIN_SOURCE_DATE_EPOCH}")
endif()

# The code moc writes includes each header by its folder from the build folder
# ("../../../sim/simhost.h"), which differs between a build folder inside the sources and
# one beside them; with the prefix it names the header from the target's include folder.
set(CMAKE_AUTOMOC_PATH_PREFIX ON)

if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    return()
endif()

include(CheckCXXCompilerFlag)
# Position-independent programs, linked as such even where the compiler does not default
# to it.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

# Stack protection, the stack clash and control-flow guards where the compiler and the
# processor have them, read-only relocations bound at start.
add_compile_options(-fstack-protector-strong)
foreach(flag -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "QUORLIN_HAS${flag}" has_flag)
    check_cxx_compiler_flag(${flag} ${has_flag})
    if(${has_flag})
        add_compile_options(${flag})
    endif()
endforeach()
add_link_options(-Wl,-z,relro -Wl,-z,now)

# The checked C library calls need the optimiser, and the sanitizers check the same calls
# their own way.
if(NOT QUORLIN_SANITIZE AND NOT QUORLIN_FUZZ)
    add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>"
                        "$<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>")
endif()

# The folders the build happens in stay out of the binaries (file names in the debugging
# information, which the build ID covers even after stripping). Debug builds keep them so
# that a debugger finds the sources wherever it is started.
check_cxx_compiler_flag(-ffile-prefix-map=a=b QUORLIN_HAS_FILE_PREFIX_MAP)
if(QUORLIN_HAS_FILE_PREFIX_MAP)
    add_compile_options(
        "$<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
        "$<$<NOT:$<CONFIG:Debug>>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=.>")
endif()
