# Programs without a window load no display or session library: nothing they name
# themselves is X11, xcb or D-Bus, and nothing they load is X11, xcb, GL or a Qt module of
# the desktop (Qt's GUI library brings X11, xcb and GL, so they do without it). avahi-client
# brings libdbus-1 for the mDNS daemon; that is no display.
foreach(program IN LISTS PROGRAMS)
  execute_process(COMMAND readelf -d ${program} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf failed on ${program}")
  endif()
  string(REGEX MATCHALL "NEEDED\\)[^\n]*\\[[^]\n]*(X11|xcb|dbus|DBus|Widgets)[^]\n]*\\]" own "${dynamic}")
  if(own)
    message(FATAL_ERROR "${program} links desktop libraries itself: ${own}")
  endif()
  execute_process(COMMAND ldd ${program} OUTPUT_VARIABLE loaded RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "ldd failed on ${program}")
  endif()
  string(REGEX MATCHALL "(libQt5(Gui|DBus|X11Extras|Widgets|XcbQpa)|libX11|libxcb|libGL|libEGL|libOpenGL)[^ ]*" desktop "${loaded}")
  if(desktop)
    message(FATAL_ERROR "${program} loads desktop libraries: ${desktop}")
  endif()
  message(STATUS "${program}: headless")
endforeach()
