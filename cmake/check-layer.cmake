cmake_minimum_required(VERSION 3.22)
# cmake -DLAYER=name -DALLOWED="a;b" -DSTAMP=file -P check-layer.cmake FILE...
# Fails when a file of the subsystem LAYER includes a header of a
# subsystem that is not in ALLOWED (itself and the layers below it): the
# layers call downward only. Also fails when a file outside the gl layer
# includes the GL headers themselves.
set(files)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 0 ${last})
  if(CMAKE_ARGV${i} MATCHES "\\.(cpp|h|inc)$")
    list(APPEND files "${CMAKE_ARGV${i}}")
  endif()
endforeach()
set(faults)
foreach(file ${files})
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]+\"[a-z_]+/")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([a-z_]+)/.*$" "\\1" included "${line}")
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)\".*$" "\\1" header "${line}")
    if(NOT included IN_LIST ALLOWED AND included IN_LIST LAYERS)
      list(APPEND faults "${file} includes ${header}")
    endif()
  endforeach()
  # The GL's own headers are included by the drawing layer alone, so a call
  # that GLES lacks cannot bypass it in the es3 build.
  if(NOT LAYER STREQUAL "gl")
    file(STRINGS "${file}" gl_lines REGEX "^[ \t]*#[ \t]*include[ \t]+<(GL|GLES[0-9]*)/")
    foreach(line ${gl_lines})
      string(STRIP "${line}" line)
      list(APPEND faults "${file}: ${line} (only src/gl includes the GL headers)")
    endforeach()
  endif()
endforeach()
if(faults)
  list(JOIN faults "\n  " text)
  list(JOIN ALLOWED ", " allowed_text)
  message(FATAL_ERROR "Layers call downward only; ${LAYER} may include ${allowed_text}:\n  ${text}")
endif()
file(TOUCH "${STAMP}")
