# Debian's hardening flags for every optimised build: what dpkg-buildflags gives
# with every hardening feature on (stack protector, FORTIFY_SOURCE, format
# checks, relro, BIND_NOW; Debian's compiler makes position-independent
# executables by default). Only the hardening flags are taken: optimisation and
# debug information stay the build type's. Left out under the sanitizers, which
# bring their own checks, and in Debug builds, where FORTIFY_SOURCE cannot work
# without optimisation.
option(FAS_HARDENING "Build with Debian's hardening flags (dpkg-buildflags)" ON)

function(fas_dpkg_buildflags kind out)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                          ${FAS_DPKG_BUILDFLAGS} --get ${kind}
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed: configure with -DFAS_HARDENING=OFF")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^(-g|-O|-ffile-prefix-map|-fdebug-prefix-map)")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

if(FAS_HARDENING AND NOT FAS_SANITIZE AND NOT FAS_FUZZ)
  find_program(FAS_DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
  fas_dpkg_buildflags(CPPFLAGS hardening_cppflags)
  fas_dpkg_buildflags(CXXFLAGS hardening_cxxflags)
  fas_dpkg_buildflags(LDFLAGS hardening_ldflags)
  set(optimised $<NOT:$<CONFIG:Debug>>)
  add_compile_options("$<${optimised}:${hardening_cppflags};${hardening_cxxflags}>")
  add_link_options("$<${optimised}:${hardening_ldflags}>")
  message(STATUS "Hardening flags: ${hardening_cppflags} ${hardening_cxxflags} ${hardening_ldflags}")
endif()
