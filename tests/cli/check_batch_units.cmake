# Installs the batch's systemd user units alone into a scratch prefix and
# checks them: both are there, the service runs the installed corvane-cli on
# the user's batch file, the timer is daily and catches up, and nothing is
# enabled (no .wants link is made).
#   -DBUILD_DIR=<build tree> -DWORK_DIR=<scratch> -DUNIT_DIR=<relative unit dir>
file(REMOVE_RECURSE "${WORK_DIR}")
set(_prefix "${WORK_DIR}/prefix")
execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${_prefix}" --component batch_units
  RESULT_VARIABLE _rc OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
if(NOT _rc EQUAL 0)
  message(FATAL_ERROR "install of the batch units failed (${_rc}):\n${_out}")
endif()

set(_units "${_prefix}/${UNIT_DIR}")
foreach(_unit corvane-batch.service corvane-batch.timer)
  if(NOT EXISTS "${_units}/${_unit}")
    message(FATAL_ERROR "${_unit} was not installed under ${_units}")
  endif()
endforeach()

file(READ "${_units}/corvane-batch.service" _service)
foreach(_line
    "ExecStart=${_prefix}/bin/corvane-cli batch %h/.config/corvane/batch.txt"
    "Type=oneshot" "KillSignal=SIGINT")
  string(FIND "${_service}" "\n${_line}\n" _at)
  if(_at EQUAL -1)
    message(FATAL_ERROR "the service lacks the line '${_line}':\n${_service}")
  endif()
endforeach()
if(_service MATCHES "@[A-Z_]+@")
  message(FATAL_ERROR "the service keeps a placeholder:\n${_service}")
endif()

file(READ "${_units}/corvane-batch.timer" _timer)
foreach(_line "OnCalendar=daily" "Persistent=true" "WantedBy=timers.target")
  string(FIND "${_timer}" "\n${_line}\n" _at)
  if(_at EQUAL -1)
    message(FATAL_ERROR "the timer lacks the line '${_line}':\n${_timer}")
  endif()
endforeach()

file(GLOB_RECURSE _wants LIST_DIRECTORIES true "${_prefix}/*")
list(FILTER _wants INCLUDE REGEX "\\.wants$")
if(_wants)
  message(FATAL_ERROR "the install enabled a unit: ${_wants}")
endif()
file(GLOB_RECURSE _all RELATIVE "${_prefix}" "${_prefix}/*")
list(LENGTH _all _count)
if(NOT _count EQUAL 2)
  message(FATAL_ERROR "the batch units' component installs more than the two units: ${_all}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
