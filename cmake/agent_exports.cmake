# Every libdznaj.so this tree builds (the simulator, its variants, the recorder) exports exactly
# the agent contract's entry points. Their names are read here, once, from the contract's table
# (ZNAJ_ENTRY_POINTS in include/znaj_agent.h, one "X(<symbol>, <shape>, ...)" row each); the
# version scripts and the export lists the check compares with follow it.
include_guard(GLOBAL)

# Read in a function of its own, so that nothing but the global property is left behind.
function(vxins_read_agent_entry_points)
  set(agent_header ${PROJECT_SOURCE_DIR}/include/znaj_agent.h)
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               ${agent_header})
  # (Read whole: file(STRINGS) would keep each row's trailing backslash, which escapes the list
  # separator after it.)
  file(READ ${agent_header} header)
  string(REGEX MATCHALL "\n  X\\([A-Za-z_0-9]+," rows "${header}")
  string(REGEX REPLACE "\n  X\\(([A-Za-z_0-9]+)," "\\1" symbols "${rows}")
  string(REGEX REPLACE ".*ZNAJ_ENTRY_POINT_COUNT = ([0-9]+).*" "\\1" expected "${header}")
  list(LENGTH symbols count)
  if(NOT count EQUAL expected)
    message(FATAL_ERROR "read ${count} entry points from ${agent_header}, it declares ${expected}")
  endif()
  set_property(GLOBAL PROPERTY VXINS_AGENT_ENTRY_POINTS "${symbols}")
endfunction()
vxins_read_agent_entry_points()

# vxins_agent_exports(<shared library target> [OMIT <symbol>])
# Writes <target>.map (the version script: the entry points global, everything else local) and
# <target>.exports (the list scripts/check-exports.sh compares the linked library's dynamic
# symbols with, after every link) into the current binary folder, and links the target with
# them. OMIT leaves one entry point out of both: it stays local, where dlsym() cannot find it.
function(vxins_agent_exports target)
  cmake_parse_arguments(A "" "OMIT" "" ${ARGN})
  get_property(symbols GLOBAL PROPERTY VXINS_AGENT_ENTRY_POINTS)
  if(A_OMIT AND NOT A_OMIT IN_LIST symbols)
    message(FATAL_ERROR "${target}: '${A_OMIT}' is no agent entry point, so it cannot be omitted")
  endif()
  set(globals "")
  set(allow "")
  foreach(sym IN LISTS symbols)
    if(NOT sym STREQUAL "${A_OMIT}")
      string(APPEND globals "    ${sym};\n")
      string(APPEND allow "${sym}\n")
    endif()
  endforeach()
  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
  set(allow_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports)
  file(CONFIGURE OUTPUT ${map} CONTENT "{\n  global:\n${globals}  local:\n    *;\n};\n")
  file(CONFIGURE OUTPUT ${allow_file} CONTENT "${allow}")
  target_link_options(${target} PRIVATE -Wl,--version-script=${map})
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-exports.sh $<TARGET_FILE:${target}> ${allow_file}
    VERBATIM)
endfunction()
