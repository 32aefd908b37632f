# The table of who may include whom (cmake/IncludeTable.txt), read at configure time
# and by the check that runs at build time (cmake/CheckLayerIncludes.cmake).

set(FAS_INCLUDE_TABLE ${CMAKE_CURRENT_LIST_DIR}/IncludeTable.txt)

# Sets FAS_INCLUDE_FOLDERS (every folder of the table) and, per folder,
# FAS_INCLUDE_ALLOWED_<folder> (the folder itself and those it may include from).
macro(fas_read_include_table)
  set(FAS_INCLUDE_FOLDERS "")
  file(STRINGS "${FAS_INCLUDE_TABLE}" _fas_rows REGEX "^[A-Za-z0-9_]")
  foreach(_fas_row IN LISTS _fas_rows)
    string(REGEX REPLACE "[ \t]+" ";" _fas_words "${_fas_row}")
    list(GET _fas_words 0 _fas_folder)
    list(APPEND FAS_INCLUDE_FOLDERS ${_fas_folder})
    set(FAS_INCLUDE_ALLOWED_${_fas_folder} ${_fas_words})
  endforeach()
endmacro()

# fas_folder_of(<var> <path from the root>): the longest folder of the table that
# the path lies in; empty when none does.
function(fas_folder_of var path)
  set(best "")
  foreach(folder IN LISTS FAS_INCLUDE_FOLDERS)
    string(LENGTH "${folder}" length)
    string(LENGTH "${best}" best_length)
    if(path MATCHES "^${folder}/" AND length GREATER best_length)
      set(best "${folder}")
    endif()
  endforeach()
  set(${var} "${best}" PARENT_SCOPE)
endfunction()

# fas_check_includes(<target> FOLDERS <folder>...): before <target> is built, every
# .h and .cpp file of those folders (subfolders that are folders of the table
# apart) is checked against the table; a forbidden include fails the build.
function(fas_check_includes target)
  cmake_parse_arguments(C "" "" "FOLDERS" ${ARGN})
  foreach(folder IN LISTS C_FOLDERS)
    if(NOT folder IN_LIST FAS_INCLUDE_FOLDERS)
      message(FATAL_ERROR "${folder} is not in ${FAS_INCLUDE_TABLE}: add its line, the folders it may include from")
    endif()
    file(GLOB_RECURSE candidates CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR}
         ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
    set(files "")
    foreach(file IN LISTS candidates)
      fas_folder_of(owner "${file}")
      if(owner STREQUAL folder)
        list(APPEND files ${PROJECT_SOURCE_DIR}/${file})
      endif()
    endforeach()
    string(MAKE_C_IDENTIFIER "${folder}" name)
    set(stamp ${PROJECT_BINARY_DIR}/include-check/${name}.stamp)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} -DROOT=${PROJECT_SOURCE_DIR} "-DFILES=${files}" -DSTAMP=${stamp}
              -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
      DEPENDS ${files} ${FAS_INCLUDE_TABLE} ${PROJECT_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
              ${PROJECT_SOURCE_DIR}/cmake/IncludeTable.cmake
      COMMENT "Checking the includes of ${folder}" VERBATIM)
    add_custom_target(includes_${name} DEPENDS ${stamp})
    add_dependencies(${target} includes_${name})
    set_property(GLOBAL APPEND PROPERTY FAS_CHECKED_FOLDERS ${folder})
  endforeach()
endfunction()

# Fails the configuration when a folder of the table holds source files but no
# target checks it: every folder is checked, none is forgotten.
function(fas_require_every_folder_checked)
  get_property(checked GLOBAL PROPERTY FAS_CHECKED_FOLDERS)
  foreach(folder IN LISTS FAS_INCLUDE_FOLDERS)
    file(GLOB sources ${PROJECT_SOURCE_DIR}/${folder}/*.h ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
    if(sources AND NOT folder IN_LIST checked)
      message(FATAL_ERROR "${folder} has sources but no fas_check_includes() names it")
    endif()
  endforeach()
endfunction()
