# The core archive must reference no QtWidgets symbol, and a test program linked only
# against the core must not load libQt5Widgets.
execute_process(COMMAND nm -C --undefined-only ${CORE} OUTPUT_VARIABLE undefined)
string(REGEX MATCHALL "Q(Widget|Application|MessageBox|Dialog|MainWindow)::[A-Za-z_]+" hits "${undefined}")
if(hits)
  message(FATAL_ERROR "quorvelcore uses widgets: ${hits}")
endif()
execute_process(COMMAND ldd ${PROBE} OUTPUT_VARIABLE deps)
if(deps MATCHES "Qt5Widgets")
  message(FATAL_ERROR "a program linked to the core loads QtWidgets:\n${deps}")
endif()
message(STATUS "core is free of widgets")
