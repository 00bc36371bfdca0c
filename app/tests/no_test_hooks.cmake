# The shipped program reads none of the test builds' hook variables, while the test build that
# shares its body does: the same scan finds them there, so a scan that sees nothing fails.
set(hooks "FLASHWRIGHT_(SCREENSHOT|EXIT_AFTER_FIRST_PAINT|START_ADVANCED)")
file(STRINGS "${PROGRAM}" shipped REGEX "${hooks}")
if(shipped)
  message(FATAL_ERROR "${PROGRAM} contains test hooks: ${shipped}")
endif()
file(STRINGS "${TEST_BUILD}" test_build REGEX "${hooks}")
list(LENGTH test_build count)
if(count LESS 3)
  message(FATAL_ERROR "the scan finds the hooks of ${TEST_BUILD} only ${count} times")
endif()
