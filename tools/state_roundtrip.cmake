# End-to-end state round trip through the offline host:
#   1. render with some parameters changed and save the state;
#   2. render again restoring that state and save it once more: the two
#      files must be identical (the restored render ran with that state);
#   3. a render without the state saves something different;
#   4. a host that does not exchange chunks saves and restores the values.
# Run with: cmake -DHOST=... -DPLUGIN=... -DWORK=... -P state_roundtrip.cmake
foreach(var HOST PLUGIN WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
file(MAKE_DIRECTORY ${WORK})

function(render)
  execute_process(COMMAND ${HOST} render ${PLUGIN} --seconds 0.5 --note C4:100:0:0.3 ${ARGN}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "render ${ARGN} failed (${rc}):\n${out}\n${err}")
  endif()
endfunction()

function(expect_size file size)
  file(SIZE ${file} actual)
  if(NOT actual EQUAL size)
    message(FATAL_ERROR "${file} holds ${actual} bytes, expected ${size}")
  endif()
endfunction()

render(-o ${WORK}/first.wav --set "Main Volume=0.3" --set 23=0.25 --save-state ${WORK}/first.state)
expect_size(${WORK}/first.state 4128)

render(-o ${WORK}/restored.wav --load-state ${WORK}/first.state --save-state ${WORK}/restored.state)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/first.state ${WORK}/restored.state
                RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "the restored render did not keep the saved state")
endif()

render(-o ${WORK}/plain.wav --save-state ${WORK}/plain.state)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/first.state ${WORK}/plain.state
                RESULT_VARIABLE same)
if(same EQUAL 0)
  message(FATAL_ERROR "a render without the state saved the same state")
endif()

# A host the plug-in does not exchange chunks with: the parameter values.
render(-o ${WORK}/values.wav --host-product "Other Host" --set "Main Volume=0.3"
       --save-state ${WORK}/values.state)
expect_size(${WORK}/values.state 4096)
render(-o ${WORK}/values2.wav --host-product "Other Host" --load-state ${WORK}/values.state
       --save-state ${WORK}/values2.state)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/values.state ${WORK}/values2.state
                RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "the parameter values were not restored")
endif()

# A file that is neither is refused.
file(WRITE ${WORK}/short.state "abc")
execute_process(COMMAND ${HOST} render ${PLUGIN} -o ${WORK}/short.wav --seconds 0.1
                        --load-state ${WORK}/short.state
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
if(rc EQUAL 0)
  message(FATAL_ERROR "a 3-byte state file was accepted")
endif()
