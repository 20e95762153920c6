# Configures the fuzz build with clang, builds the target and replays the seed corpus.
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SRC} -B ${BIN} -G Ninja -DCMAKE_CXX_COMPILER=${CLANGXX}
          -DQUORVEL_FUZZ=ON -DQUORVEL_BUILD_GUI=OFF -DQUORVEL_BUILD_TESTS=OFF
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the fuzz build failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BIN} --target fuzz_qtjson RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building fuzz_qtjson failed")
endif()
file(GLOB seeds ${SRC}/fuzz/corpus/qtjson/*)
execute_process(COMMAND ${BIN}/bin/fuzz_qtjson ${seeds} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fuzz_qtjson failed on the seed corpus")
endif()
