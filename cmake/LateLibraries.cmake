# SPDX-License-Identifier: GPL-3.0-or-later
# The name a shared library is loaded by at run time: its SONAME
# ("libmpv.so.2") where libraries have one, else the DLL's name given.
#   pelmora_runtime_name(OUT NAME LINK_LIBRARIES WINDOWS_DLL)
# LINK_LIBRARIES: the full paths pkg-config's module found (<P>_LINK_LIBRARIES).
# On Debian, OUT_DEPENDS is also set: the package dependency it needs, as
# dpkg-shlibdeps would have found it for a linked library ("libmpv2 (>= 0.35.1)").
function(pelmora_runtime_name out name libraries dll)
  if(WIN32)
    set(${out} "${dll}.dll" PARENT_SCOPE)
    return()
  endif()
  set(file)
  foreach(library IN LISTS libraries)
    get_filename_component(base ${library} NAME)
    if(base MATCHES "^lib${name}\\.so")
      set(file ${library})
    endif()
  endforeach()
  if(NOT file)
    message(FATAL_ERROR "lib${name}: not among ${libraries}")
  endif()
  find_program(PELMORA_OBJDUMP NAMES objdump ${CMAKE_OBJDUMP} REQUIRED)
  execute_process(COMMAND ${PELMORA_OBJDUMP} -p ${file} OUTPUT_VARIABLE headers
                  RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT headers MATCHES "SONAME +([^\n ]+)")
    message(FATAL_ERROR "${file}: no SONAME")
  endif()
  set(soname ${CMAKE_MATCH_1})
  set(${out} ${soname} PARENT_SCOPE)

  find_program(PELMORA_DPKG_QUERY dpkg-query)
  if(NOT PELMORA_DPKG_QUERY)
    return()
  endif()
  get_filename_component(dir ${file} REALPATH)
  get_filename_component(dir ${dir} DIRECTORY)
  execute_process(COMMAND ${PELMORA_DPKG_QUERY} -S ${dir}/${soname} OUTPUT_VARIABLE owner
                  RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT owner MATCHES "^([^:, ]+(:[^:, ]+)?): ")
    return()
  endif()
  set(package ${CMAKE_MATCH_1})
  execute_process(COMMAND ${PELMORA_DPKG_QUERY} --control-show ${package} shlibs
                  OUTPUT_VARIABLE shlibs RESULT_VARIABLE status ERROR_QUIET)
  string(REGEX MATCH "^lib(.+)\\.so\\.([^.]+)$" parts ${soname})
  if(status EQUAL 0 AND shlibs MATCHES "(^|\n)lib${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ([^\n]+)")
    set(${out}_DEPENDS "${CMAKE_MATCH_2}" PARENT_SCOPE)
  else()
    string(REGEX REPLACE ":.*" "" package ${package})
    set(${out}_DEPENDS ${package} PARENT_SCOPE)
  endif()
endfunction()
