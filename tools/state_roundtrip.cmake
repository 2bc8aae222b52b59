# End-to-end state round trip through the offline host:
#   1. render with some parameters changed and save the state;
#   2. render again restoring that state and save it once more: the
#      changed parameters kept their values, and restoring that second state
#      gives it back byte for byte;
#   3. a render without the state saves other values;
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

# The value of parameter TAG in a state file, as hex bytes.
function(value_of file tag out)
  math(EXPR offset "${tag} * 4")
  file(READ ${file} hex OFFSET ${offset} LIMIT 4 HEX)
  set(${out} ${hex} PARENT_SCOPE)
endfunction()

render(-o ${WORK}/restored.wav --load-state ${WORK}/first.state --save-state ${WORK}/restored.state)
# The restored render ran with the saved values (applying them clamps a
# default that lies just above 1, so the files need not match byte for byte).
# Restoring a state that has been applied once gives it back unchanged.
render(-o ${WORK}/again.wav --load-state ${WORK}/restored.state --save-state ${WORK}/again.state)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/restored.state ${WORK}/again.state
                RESULT_VARIABLE same)
if(NOT same EQUAL 0)
  message(FATAL_ERROR "restoring a restored state changed it")
endif()

render(-o ${WORK}/plain.wav --save-state ${WORK}/plain.state)
foreach(tag 1 23)
  value_of(${WORK}/first.state ${tag} saved)
  value_of(${WORK}/restored.state ${tag} restored)
  value_of(${WORK}/plain.state ${tag} plain)
  if(NOT saved STREQUAL restored)
    message(FATAL_ERROR "parameter ${tag}: saved ${saved}, after restoring ${restored}")
  endif()
  if(saved STREQUAL plain)
    message(FATAL_ERROR "parameter ${tag}: a render without the state has the same value")
  endif()
endforeach()

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
