# The offline host's state and MIDI files from outside:
#   - --load-state and --midi refuse a folder, /dev/zero, a FIFO with no
#     writer and an oversized file promptly, with a message and exit status 2,
#     and take a state file behind a link; --load-state refuses values outside 0..1 too;
#   - a --save-state that fails leaves the old file whole (exit status 2 and a
#     message), and one through a link replaces the link's target.
# Run with: cmake -DHOST=... -DPLUGIN=... -DWORK=... -P state_files.cmake
foreach(var HOST PLUGIN WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/folder ${WORK}/elsewhere)

# Renders briefly with ARGN and expects exit status `expected` and, when
# given, stderr matching `pattern`. A host that blocks fails by the timeout.
function(render expected pattern)
  execute_process(COMMAND ${HOST} render ${PLUGIN} -o ${WORK}/out.wav --seconds 0.1 ${ARGN}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
  if(NOT rc STREQUAL expected)
    message(FATAL_ERROR "render ${ARGN}: exit status ${rc}, expected ${expected}:\n${out}\n${err}")
  endif()
  if(NOT pattern STREQUAL "" AND NOT err MATCHES "${pattern}")
    message(FATAL_ERROR "render ${ARGN}: the message does not match '${pattern}':\n${err}")
  endif()
endfunction()

function(expect_content file expected)
  file(READ ${file} actual)
  if(NOT actual STREQUAL expected)
    message(FATAL_ERROR "${file} holds '${actual}', expected '${expected}'")
  endif()
endfunction()

execute_process(COMMAND mkfifo ${WORK}/fifo RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot make a FIFO")
endif()
# Sparse: beyond every limit without using the disk.
execute_process(COMMAND truncate -s 2G ${WORK}/huge RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot make a large file")
endif()

foreach(option --load-state --midi)
  render(2 "ondix-host: ${WORK}/folder is a folder" ${option} ${WORK}/folder)
  render(2 "ondix-host: /dev/zero is not a regular file" ${option} /dev/zero)
  render(2 "ondix-host: ${WORK}/fifo is not a regular file" ${option} ${WORK}/fifo)
  render(2 "ondix-host: ${WORK}/huge is larger than [0-9]+ bytes; not read" ${option} ${WORK}/huge)
  render(2 "ondix-host: cannot open ${WORK}/missing: No such file" ${option} ${WORK}/missing)
endforeach()

# 1024 values, the last -5.03, 1e30 or NaN (the others 0.504: CMake text holds no zero byte).
string(ASCII 1 1 1 63 inRange)
string(REPEAT "${inRange}" 1023 others)
foreach(row "1;1;161;192;-5.03[0-9]*" "202;242;73;113;1e\\+30" "1;1;193;127;nan")
  list(POP_BACK row shown)
  string(ASCII ${row} value)
  file(WRITE ${WORK}/values "${others}${value}")
  render(2 "ondix-host: ${WORK}/values: the value of parameter 1023 '.*' is ${shown}, not a number from 0 to 1"
         --load-state ${WORK}/values)
endforeach()

# A saved state, loaded again through a link.
render(0 "" --save-state ${WORK}/elsewhere/state)
file(CREATE_LINK ${WORK}/elsewhere/state ${WORK}/link SYMBOLIC)
render(0 "" --load-state ${WORK}/link)
# A state loaded and saved again in its place (through the link, too).
render(0 "" --load-state ${WORK}/elsewhere/state --save-state ${WORK}/link)

# Saving through the link replaces its target; the link stays.
file(WRITE ${WORK}/elsewhere/state "old")
render(0 "" --save-state ${WORK}/link)
if(NOT IS_SYMLINK ${WORK}/link)
  message(FATAL_ERROR "saving through a link replaced the link")
endif()
file(SIZE ${WORK}/elsewhere/state size)
if(size EQUAL 3)
  message(FATAL_ERROR "saving through a link did not replace its target")
endif()

# Failed saves: no room for a temporary file beside a long name, and a folder
# in the file's place. The old file stays and no temporary file is left.
string(REPEAT "n" 250 long)
file(WRITE ${WORK}/elsewhere/${long} "old")
render(2 "ondix-host: cannot create a temporary file beside ${WORK}/elsewhere/${long}: File name too long"
       --save-state ${WORK}/elsewhere/${long})
expect_content(${WORK}/elsewhere/${long} "old")
render(2 "ondix-host: cannot replace ${WORK}/folder: a folder is in its place"
       --save-state ${WORK}/folder)
if(NOT IS_DIRECTORY ${WORK}/folder)
  message(FATAL_ERROR "a failed save removed the folder in its place")
endif()
file(GLOB leftovers ${WORK}/.* ${WORK}/elsewhere/.*)
if(leftovers)
  message(FATAL_ERROR "temporary files were left behind: ${leftovers}")
endif()
file(REMOVE ${WORK}/huge)
