# cmake -DCHECK=check-layer.cmake -DLAYERS="..." -DWORK=dir -P layer_check.cmake
# The build's include check fed on purpose: a file of the mesh layer that
# includes a scenes header (a layer above it) must stop the check, naming
# the file and the header; one that includes only math and itself passes.
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
file(WRITE "${WORK}/upward.cpp" "#include \"mesh/mesh.h\"\n#include \"math/vec3.h\"\n#include \"scenes/scene_script.h\"\n")
file(WRITE "${WORK}/downward.cpp" "#include \"mesh/mesh.h\"\n#include \"math/vec3.h\"\n#include <cmath>\n")
list(FIND LAYERS mesh rank)
list(SUBLIST LAYERS ${rank} -1 allowed)
foreach(file upward downward)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -DLAYER=mesh "-DALLOWED=${allowed}" "-DLAYERS=${LAYERS}" -DSTAMP=${WORK}/${file}.stamp
      -P "${CHECK}" "${WORK}/${file}.cpp"
    RESULT_VARIABLE code_${file} ERROR_VARIABLE said_${file})
endforeach()
if(code_upward EQUAL 0 OR NOT said_upward MATCHES "upward\\.cpp includes scenes/scene_script\\.h")
  message(FATAL_ERROR "an upward include passed the check (exit ${code_upward}): ${said_upward}")
endif()
if(NOT code_downward EQUAL 0)
  message(FATAL_ERROR "a downward include was refused: ${said_downward}")
endif()
