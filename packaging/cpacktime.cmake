# Read by cpack as it makes the package (CPACK_PROJECT_CONFIG_FILE): the package's times
# are those of the sources the build was configured from, unless the caller sets its own.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} "${CPACK_QUORLIN_SOURCE_DATE_EPOCH}")
endif()
