# Release builds take Debian's hardening flags from dpkg-buildflags: fortified
# library calls, stack protection, and read-only relocations resolved at start
# (relro, now). Optimisation and debug information stay with the build type.
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS)
    message(WARNING "dpkg-buildflags not found (package dpkg-dev): building without Debian's hardening flags")
    return()
endif()

function(velmora_dpkg_buildflags kind out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${DPKG_BUILDFLAGS} --get ${kind}
        # File names in the debug information become relative to the source.
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE flags
        OUTPUT_STRIP_TRAILING_WHITESPACE
        COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*)$")
    set(${out} ${flags} PARENT_SCOPE)
endfunction()

velmora_dpkg_buildflags(CPPFLAGS preprocessor_flags)
velmora_dpkg_buildflags(CXXFLAGS compiler_flags)
velmora_dpkg_buildflags(LDFLAGS linker_flags)
add_compile_options(${preprocessor_flags} ${compiler_flags})
add_link_options(${linker_flags})
string(JOIN " " shown ${preprocessor_flags} ${compiler_flags} ${linker_flags})
message(STATUS "Hardening flags from dpkg-buildflags: ${shown}")
