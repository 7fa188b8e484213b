# Optimised builds get the hardening Debian builds its packages with: fortified
# libc calls, stack protector, format checks, full RELRO with immediate binding,
# position-independent executables. The flags come from dpkg-buildflags, so they
# follow what the distribution chooses; where it is missing nothing is added, and
# an optimised build says so.
#
# Sanitizer builds are left alone: the sanitizers replace the libc calls that
# fortification would check, and the two are not meant to be combined.
include(CheckPIESupported)
check_pie_supported()
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

find_program(DPKG_BUILDFLAGS_PROGRAM dpkg-buildflags)
mark_as_advanced(DPKG_BUILDFLAGS_PROGRAM)
if(POTPANEL_SANITIZE)
    return()
endif()
if(NOT DPKG_BUILDFLAGS_PROGRAM)
    if(CMAKE_CONFIGURATION_TYPES OR CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$")
        message(WARNING "dpkg-buildflags is missing, so this optimised build gets none of Debian's "
                        "hardening flags: install dpkg-dev (tools/run does) and configure again.")
    endif()
    return()
endif()

function(potpanel_dpkg_buildflags kind out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${DPKG_BUILDFLAGS_PROGRAM} --get ${kind}
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # Optimisation and debug information stay the build type's choice.
    list(FILTER flags EXCLUDE REGEX "^-(g.*|O.*)$")
    set(${out} ${flags} PARENT_SCOPE)
endfunction()

potpanel_dpkg_buildflags(CPPFLAGS cppflags)
potpanel_dpkg_buildflags(CXXFLAGS cxxflags)
potpanel_dpkg_buildflags(LDFLAGS ldflags)
set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
foreach(flag IN LISTS cppflags cxxflags)
    add_compile_options("$<${optimised}:${flag}>")
endforeach()
foreach(flag IN LISTS ldflags)
    add_link_options("$<${optimised}:${flag}>")
endforeach()
list(JOIN cppflags " " cppflags)
list(JOIN cxxflags " " cxxflags)
list(JOIN ldflags " " ldflags)
message(STATUS "Hardening of optimised builds: ${cppflags} ${cxxflags} ${ldflags}")
