# Runs one script with ksrun and compares stdout, stderr and the exit code with <script>.out:
# the output lines, then "exit N" when the run failed.
execute_process(COMMAND "${KSRUN}" "${SCRIPT}" OUTPUT_VARIABLE out ERROR_VARIABLE err
                RESULT_VARIABLE rc)
set(actual "${out}${err}")
if(NOT rc EQUAL 0)
  string(APPEND actual "exit ${rc}\n")
endif()
file(READ "${SCRIPT}.out" expected)
if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "output of ${SCRIPT} differs.\n--- expected\n${expected}--- actual\n${actual}")
endif()
