# Adds every direct child folder of the current source folder that has a CMakeLists.txt, in name
# order, except the ones listed. Each subsystem folder describes itself, so adding a subsystem
# never means editing its parent.
function(harbeat_add_child_folders)
  cmake_parse_arguments(ARG "" "" "EXCEPT" ${ARGN})
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt
       AND NOT child IN_LIST ARG_EXCEPT)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
