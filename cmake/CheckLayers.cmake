# Fails the build when a source under src/ includes a header of a layer above its own,
# or of another folder of the same rank. Run as: cmake -DSRC=<src> -DSTAMP=<file> -P.
#
# Ranks from the bottom up; folders on one line are peers that must not include each
# other. A file belongs to the longest folder that contains it.
cmake_minimum_required(VERSION 3.25)

# Peers share a line, separated by spaces.
set(layers
  "json"
  "utils"
  "quorvel/protocol"
  "quorvel/tasks"
  "log"
  "platform"
  "quorvel/storage"
  "quorvel/discovery"
  "quorvel/transfer"
  "quorvel/server"
  "quorvel/services"
  "quorvel/browse"
  "cast"
  "settings"
  "platform/x11 resources ui/common"
  "ui/browser ui/transfers ui/history ui/dialogs ui/cast"
  "ui/mainwindow"
  "app"
)

set(rank 0)
set(folders "")
foreach(line IN LISTS layers)
  string(REPLACE " " ";" peers "${line}")
  foreach(folder IN LISTS peers)
    set(rank_${folder} ${rank})
    list(APPEND folders ${folder})
  endforeach()
  math(EXPR rank "${rank} + 1")
endforeach()
# Longest folders first so that platform/x11 wins over platform.
list(SORT folders ORDER DESCENDING)

function(folder_of path out)
  foreach(folder IN LISTS folders)
    string(LENGTH "${folder}/" n)
    string(SUBSTRING "${path}" 0 ${n} head)
    if(head STREQUAL "${folder}/")
      set(${out} ${folder} PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} "" PARENT_SCOPE)
endfunction()

get_filename_component(SRC "${SRC}" ABSOLUTE)
file(GLOB_RECURSE sources RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
set(errors "")
foreach(source IN LISTS sources)
  folder_of(${source} from)
  if(from STREQUAL "")
    string(APPEND errors "\n  ${source}: in no layer (add its folder to cmake/CheckLayers.cmake)")
    continue()
  endif()
  file(STRINGS ${SRC}/${source} includes REGEX "^#include \"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
    if(NOT EXISTS ${SRC}/${header})
      continue() # generated (ui_*.h) or from the system
    endif()
    folder_of(${header} to)
    if(to STREQUAL from)
      continue()
    endif()
    if(rank_${to} LESS rank_${from})
      continue()
    endif()
    string(APPEND errors "\n  ${source} includes ${header}: ${to} is not below ${from}")
  endforeach()
endforeach()
if(errors)
  message(FATAL_ERROR "Includes against the layer order (see cmake/CheckLayers.cmake):${errors}")
endif()
file(TOUCH ${STAMP})
