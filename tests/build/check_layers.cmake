# The layer check itself: a scratch tree where a lower layer includes a higher one must
# be rejected, and the same tree with the include turned around accepted.
set(tree ${WORK}/layers)
file(REMOVE_RECURSE ${tree})
file(WRITE ${tree}/ui/common/Widget.h "#pragma once\n")
file(WRITE ${tree}/quorvel/protocol/Record.h "#pragma once\n")
file(WRITE ${tree}/quorvel/protocol/Record.cpp "#include \"quorvel/protocol/Record.h\"\n#include \"ui/common/Widget.h\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${tree} -DSTAMP=${tree}/stamp -P ${CHECK}
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "quorvel/protocol/Record.cpp includes ui/common/Widget.h")
  message(FATAL_ERROR "an upward include passed the check (${rc}): ${err}")
endif()
# Views are peers: one may not include another.
file(WRITE ${tree}/quorvel/protocol/Record.cpp "#include \"quorvel/protocol/Record.h\"\n")
file(WRITE ${tree}/ui/history/History.cpp "#include \"ui/browser/Browser.h\"\n")
file(WRITE ${tree}/ui/browser/Browser.h "#pragma once\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${tree} -DSTAMP=${tree}/stamp -P ${CHECK}
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "a view including another view passed the check")
endif()
file(WRITE ${tree}/ui/history/History.cpp "#include \"ui/common/Widget.h\"\n#include \"quorvel/protocol/Record.h\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DSRC=${tree} -DSTAMP=${tree}/stamp -P ${CHECK}
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "downward includes were rejected: ${err}")
endif()
