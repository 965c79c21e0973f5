# Debian's hardening flags from dpkg-buildflags (fortify, stack protector,
# relro, bindnow, ...), for the programs the packages ship. The build type
# keeps choosing -O and -g; a Debug build (the sanitizer one) gets none of
# them, since _FORTIFY_SOURCE needs an optimised build.
option(BERMON_DEBIAN_BUILDFLAGS "Compile and link with the flags of dpkg-buildflags" ON)
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(BERMON_DEBIAN_BUILDFLAGS AND DPKG_BUILDFLAGS AND NOT CMAKE_BUILD_TYPE STREQUAL Debug)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # -O and -g are the build type's; a prefix map would rename the sources
    # that the tests find through __FILE__.
    list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*|ffile-prefix-map=.*|fdebug-prefix-map=.*)$")
    if(kind STREQUAL LDFLAGS)
      add_link_options(${flags})
    else()
      add_compile_options(${flags})
    endif()
    list(JOIN flags " " shown)
    message(STATUS "dpkg-buildflags ${kind}: ${shown}")
  endforeach()
endif()
