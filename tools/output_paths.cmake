# The hosts' output paths: every one is checked before anything is played,
# none may name another file of the command, and a run that fails leaves no
# file behind and an existing file as it was. Each row: the expected exit
# status, a pattern for standard error ("" for none) and the command line; a
# row that fails must leave the folder as it was, one that succeeds must
# replace out.wav. A WAV file or snapshot the hosts cannot write is exit
# status 1, a state file they cannot save exit status 2, as their --help says.
# Run with: cmake -DHOST=... -DPLUGIN=... -DAUHOST=... -DAUPLUGIN=... -DWORK=... -P output_paths.cmake
cmake_policy(SET CMP0007 NEW) # a row's empty pattern is a field
foreach(var HOST PLUGIN AUHOST AUPLUGIN WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/folder)
# Copies of the plug-ins to name as outputs, another name for out.wav, a FIFO.
file(COPY_FILE ${PLUGIN} ${WORK}/p.so)
file(COPY_FILE ${AUPLUGIN} ${WORK}/au.so)
file(CREATE_LINK out.wav ${WORK}/link.wav SYMBOLIC)
execute_process(COMMAND mkfifo ${WORK}/fifo COMMAND_ERROR_IS_FATAL ANY)

set(render "${HOST} render ${PLUGIN} --seconds 0.1")
set(same "name the same file")
set(rows
  "2|cannot create a temporary file beside ${WORK}/nodir/s.state: No such file or directory|${render} -o ${WORK}/out.wav --save-state ${WORK}/nodir/s.state"
  "2|cannot replace ${WORK}/folder: a folder is in its place|${render} -o ${WORK}/out.wav --save-state ${WORK}/folder"
  "1|cannot create a temporary file beside ${WORK}/nodir/out.wav: No such file or directory|${render} -o ${WORK}/nodir/out.wav --save-state ${WORK}/s.state"
  "1|cannot replace ${WORK}/folder: a folder is in its place|${render} -o ${WORK}/folder"
  "1|cannot replace ${WORK}/fifo: it is not a regular file|${render} -o ${WORK}/fifo"
  "1|cannot replace ${WORK}/fifo: it is not a regular file|${AUHOST} render ${AUPLUGIN} -o ${WORK}/fifo"
  "1|cannot replace /dev/null: it is not a regular file|${render} -o /dev/null"
  "1|cannot create a temporary file beside ${WORK}/nodir/out.wav: No such file or directory|${AUHOST} render ${AUPLUGIN} -o ${WORK}/nodir/out.wav"
  "1|e.png: No such file or directory|${HOST} edit ${PLUGIN} --snapshot ${WORK}/nodir/e.png"
  "1|cannot replace ${WORK}/folder: a folder is in its place|${HOST} edit ${PLUGIN} --snapshot ${WORK}/folder"
  "2|--seconds 0.000010 is shorter than one frame at 44100 Hz|${HOST} render ${PLUGIN} -o ${WORK}/out.wav --seconds 0.00001"
  "2|--seconds 0.000010 is shorter than one frame at 8000 Hz|${HOST} render ${PLUGIN} -o ${WORK}/out.wav --rate 8000 --seconds 0.00001"
  "2|no parameter named 'No-Such-Knob'|${render} -o ${WORK}/out.wav --save-state ${WORK}/s.state --set No-Such-Knob=0.5"
  "2|-o and --save-state ${same} \\(${WORK}/out.wav\\)|${render} -o ${WORK}/out.wav --save-state ${WORK}/out.wav"
  "2|-o and --save-state ${same}|${render} -o ${WORK}/link.wav --save-state ${WORK}/out.wav"
  "2|-o and --save-state ${same}|${render} -o ${WORK}/folder/../s.state --save-state ${WORK}/s.state"
  "2|-o and --midi ${same}|${render} -o ${WORK}/out.wav --midi ${WORK}/link.wav"
  "2|-o and --load-state ${same}|${render} -o ${WORK}/out.wav --load-state ${WORK}/out.wav"
  "2|--save-state and --preset ${same}|${render} -o ${WORK}/o.wav --save-state ${WORK}/out.wav --preset ${WORK}/out.wav"
  "2|-o and the plug-in ${same}|${HOST} render ${WORK}/p.so -o ${WORK}/p.so --seconds 0.1"
  "2|--snapshot and the plug-in ${same}|${HOST} edit ${WORK}/p.so --snapshot ${WORK}/p.so"
  "2|-o and the AudioUnit library ${same}|${AUHOST} render ${WORK}/au.so -o ${WORK}/au.so --seconds 0.1"
  "0||${render} -o ${WORK}/out.wav --save-state ${WORK}/s.state"
  "0||${HOST} render ${PLUGIN} -o ${WORK}/out.wav --seconds 0.0000227")

# What the folder holds, names and sizes: what a run left behind.
function(listing result)
  file(GLOB_RECURSE files LIST_DIRECTORIES true RELATIVE ${WORK} ${WORK}/*)
  set(out "")
  foreach(f ${files})
    if(IS_DIRECTORY ${WORK}/${f})
      list(APPEND out "${f}/")
    else()
      file(SIZE ${WORK}/${f} size)
      list(APPEND out "${f}=${size}")
    endif()
  endforeach()
  list(SORT out)
  set(${result} "${out}" PARENT_SCOPE)
endfunction()

foreach(row IN LISTS rows)
  string(REPLACE "|" ";" fields "${row}")
  list(GET fields 0 expected)
  list(GET fields 1 pattern)
  list(GET fields 2 command)
  separate_arguments(command UNIX_COMMAND "${command}")
  file(WRITE ${WORK}/out.wav "old")
  file(REMOVE ${WORK}/s.state)
  listing(before)
  execute_process(COMMAND ${command} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                  ERROR_VARIABLE err TIMEOUT 60)
  listing(after)
  if(NOT rc STREQUAL expected)
    message(SEND_ERROR "${command}: exit status ${rc}, expected ${expected}:\n${out}\n${err}")
  endif()
  if(NOT pattern STREQUAL "" AND NOT err MATCHES "${pattern}")
    message(SEND_ERROR "${command}: the message does not match '${pattern}':\n${err}")
  endif()
  if(expected STREQUAL "0")
    file(SIZE ${WORK}/out.wav size)
    if(size LESS 44)
      message(SEND_ERROR "${command}: out.wav was not written")
    endif()
  elseif(NOT after STREQUAL before)
    message(SEND_ERROR "${command} failed but changed the folder:\n  before: ${before}\n  after:  ${after}")
  endif()
  file(GLOB leftovers ${WORK}/.* ${WORK}/folder/.*)
  if(leftovers)
    message(SEND_ERROR "${command}: temporary files were left behind: ${leftovers}")
  endif()
endforeach()
