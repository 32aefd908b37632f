cmake_policy(SET CMP0057 NEW) # if(... IN_LIST ...)
# Run as a build step of each server layer (cmake -P): fails the build when one of
# the layer's files includes a header of a server layer it may not use.
#   -DLAYER=http -DALLOWED="http;rpc;base" -DSTAMP=<file> -DFILES="a.cpp;b.h;..."
# Server headers are included from the repository root ("server/<layer>/X.h"); a
# path that climbs out of the folder ("../") is refused too, since it would hide
# the layer it reaches.
set(refusals "")
foreach(file IN LISTS FILES)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "\"server/([A-Za-z0-9_]+)/")
      set(used "${CMAKE_MATCH_1}")
      if(NOT used IN_LIST ALLOWED)
        string(APPEND refusals "\n  ${file}: ${line}\n    the ${LAYER} layer may use only: ${ALLOWED}")
      endif()
    elseif(line MATCHES "\"\\.\\./")
      string(APPEND refusals "\n  ${file}: ${line}\n    include server headers as \"server/<layer>/Name.h\"")
    endif()
  endforeach()
endforeach()
if(refusals)
  message(FATAL_ERROR "server layer ${LAYER}: include of a layer it may not use:${refusals}")
endif()
file(TOUCH "${STAMP}")
