# Every tool answers --help (and -h) with its usage on standard output and
# exit status 0, wherever the option stands, and writes nothing; an option a
# tool does not know is a usage error (exit status 2) that writes nothing
# either.
# Run with: cmake -DHOST=... -DAUHOST=... -DARTWORK=... -DWORK=... -P help_options.cmake
foreach(var HOST AUHOST ARTWORK WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

# Runs a tool in WORK with ARGN; expects exit status `expected`, `pattern`
# on standard output (0) or standard error (2), and WORK still empty.
function(run expected pattern)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY ${WORK} RESULT_VARIABLE rc
                  OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc STREQUAL expected)
    message(FATAL_ERROR "${ARGN}: exit status ${rc}, expected ${expected}:\n${out}\n${err}")
  endif()
  if(expected EQUAL 0)
    set(said "${out}")
  else()
    set(said "${err}")
  endif()
  if(NOT said MATCHES "${pattern}")
    message(FATAL_ERROR "${ARGN}: '${pattern}' not said:\n${out}\n${err}")
  endif()
  file(GLOB written ${WORK}/* ${WORK}/.*)
  if(written)
    message(FATAL_ERROR "${ARGN} wrote ${written}")
  endif()
endfunction()

foreach(help --help -h)
  run(0 "usage: ondix-artwork OUTDIR" ${ARTWORK} ${help})
  run(0 "usage: ondix-artwork OUTDIR" ${ARTWORK} out ${help})
  run(0 "ondix-host info" ${HOST} ${help})
  run(0 "ondix-host info" ${HOST} render ${help})
  run(0 "ondix-auhost render" ${AUHOST} ${help})
  run(0 "ondix-auhost render" ${AUHOST} state ${help})
endforeach()
run(2 "ondix-artwork: unknown option --colour" ${ARTWORK} --colour)
run(2 "ondix-artwork: unknown option --colour" ${ARTWORK} out --colour)
run(2 "ondix-artwork: no output folder given" ${ARTWORK} --all)
run(2 "ondix-host: unknown option --colour" ${HOST} render --colour)
run(2 "ondix-auhost: unknown option --colour" ${AUHOST} render --colour)
