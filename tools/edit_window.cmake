# The offline host's `edit` command.
#   CHECK=errors    bad command lines and a missing X display are refused with
#                   the right exit status (needs no X server);
#   CHECK=snapshot  the editor opens under XVFB_RUN (a private Xvfb) and the
#                   window's snapshot is a PNG of the editor's size showing
#                   more than one flat colour, however short the session.
# Run with: cmake -DHOST=... -DPLUGIN=... -DWORK=... -DCHECK=... [-DXVFB_RUN=...] -P edit_window.cmake
foreach(var HOST PLUGIN WORK CHECK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "${var} is not set")
  endif()
endforeach()
file(MAKE_DIRECTORY ${WORK})

# Runs the host with ARGN and expects exit status `expected`.
function(expect_status expected)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc STREQUAL expected)
    message(FATAL_ERROR "${ARGN}: exit status ${rc}, expected ${expected}:\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
  set(last_errors "${err}" PARENT_SCOPE)
endfunction()

if(CHECK STREQUAL "errors")
  expect_status(2 ${HOST} edit)
  expect_status(2 ${HOST} edit ${PLUGIN} --seconds 0)
  expect_status(2 ${HOST} edit ${PLUGIN} --seconds 3601)
  expect_status(2 ${HOST} edit ${PLUGIN} --seconds soon)
  expect_status(2 ${HOST} edit ${PLUGIN} --snapshot)
  expect_status(2 ${HOST} edit ${PLUGIN} --snapshot=)
  expect_status(2 ${HOST} edit ${PLUGIN} --params)
  expect_status(2 ${HOST} edit ${PLUGIN} ${PLUGIN})
  expect_status(1 ${HOST} edit ${WORK}/missing.so)
  expect_status(0 ${HOST} edit --help)
  if(NOT last_output MATCHES "ondix-host edit PLUGIN.so")
    message(FATAL_ERROR "--help does not show the edit command:\n${last_output}")
  endif()
  # No X server to talk to.
  expect_status(1 ${CMAKE_COMMAND} -E env --unset=DISPLAY ${HOST} edit ${PLUGIN} --seconds 0.1)
  if(NOT last_errors MATCHES "no X display")
    message(FATAL_ERROR "a missing display was not reported:\n${last_errors}")
  endif()
  return()
endif()

if(NOT CHECK STREQUAL "snapshot")
  message(FATAL_ERROR "CHECK must be errors or snapshot, not ${CHECK}")
endif()
if(NOT DEFINED XVFB_RUN)
  message(FATAL_ERROR "XVFB_RUN is not set")
endif()

# However short the session, the snapshot shows what the editor drew: a
# session that ends before the editor's first drawing waits for it.
foreach(seconds 0.5 0.02 0.001)
  set(png ${WORK}/edit-${seconds}.png)
  file(REMOVE ${png})
  expect_status(0 ${XVFB_RUN} -a -s "-screen 0 1280x1024x24"
                ${HOST} edit ${PLUGIN} --seconds ${seconds} --snapshot ${png})
  if(NOT last_output STREQUAL "${png} 1132x779\n")
    message(FATAL_ERROR "--seconds ${seconds}: unexpected output:\n${last_output}")
  endif()
  if(NOT EXISTS ${png})
    message(FATAL_ERROR "${png} was not written")
  endif()

  # The PNG signature, then the IHDR chunk: width and height as big-endian
  # 32-bit numbers at offsets 16 and 20.
  file(READ ${png} header LIMIT 24 HEX)
  string(SUBSTRING "${header}" 0 16 signature)
  string(SUBSTRING "${header}" 24 8 chunk)
  if(NOT signature STREQUAL "89504e470d0a1a0a" OR NOT chunk STREQUAL "49484452")
    message(FATAL_ERROR "${png} is not a PNG file (starts with ${header})")
  endif()
  string(SUBSTRING "${header}" 32 8 width_hex)
  string(SUBSTRING "${header}" 40 8 height_hex)
  math(EXPR width "0x${width_hex}")
  math(EXPR height "0x${height_hex}")
  if(NOT width EQUAL 1132 OR NOT height EQUAL 779)
    message(FATAL_ERROR "${png} is ${width} x ${height}, expected 1132 x 779")
  endif()

  # A window of one flat colour compresses to about 5 KB at most; the
  # editor's artwork takes several times that.
  file(SIZE ${png} size)
  if(size LESS 16384)
    message(FATAL_ERROR "${png} holds only ${size} bytes: the editor did not show")
  endif()
endforeach()

# A message box of the plug-in's stays open until the user closes it; the
# session still ends at --seconds. The box: the notice about a settings file
# that cannot be read (a folder in its place), shown by a stand-in for zenity
# that never answers.
file(REMOVE_RECURSE ${WORK}/modal)
file(MAKE_DIRECTORY ${WORK}/modal/bin ${WORK}/modal/prefs/com.Haldmer.QVTZ.Ondix.prefs)
file(WRITE ${WORK}/modal/zenity "#!/bin/sh\nexec sleep 100\n")
file(COPY ${WORK}/modal/zenity DESTINATION ${WORK}/modal/bin
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
set(png ${WORK}/modal/edit.png)
string(TIMESTAMP started "%s" UTC)
execute_process(COMMAND ${CMAKE_COMMAND} -E env "PATH=${WORK}/modal/bin:$ENV{PATH}"
                        ONDIX_PREFS_DIR=${WORK}/modal/prefs
                        ${XVFB_RUN} -a -s "-screen 0 1280x1024x24"
                        ${HOST} edit ${PLUGIN} --seconds 1 --snapshot ${png}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 50)
string(TIMESTAMP ended "%s" UTC)
math(EXPR took "${ended} - ${started}")
if(NOT rc STREQUAL "0" OR NOT EXISTS ${png})
  message(FATAL_ERROR "edit with a message box open: exit status ${rc}, ${took} s:\n${out}\n${err}")
endif()
if(took GREATER 20)
  message(FATAL_ERROR "edit --seconds 1 with a message box open ran ${took} s")
endif()
