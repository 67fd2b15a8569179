# Fuzz targets of the parsers of outside bytes. Target <name> is tests/<lib>/<name>_fuzz.cpp, which
# defines LLVMFuzzerTestOneInput and links library <lib>; its seed corpus is tests/data/fuzz/<name>/.
#
# Every build replays each corpus as a test: the target with the main of
# tests/support/fuzz_replay_main.cpp is <name>_replay, run by the test Fuzz.<name>. With
# QUORVANE_FUZZ on and clang, each target is also a libFuzzer program <name>_fuzz (all of them:
# the target "fuzz"), and the libraries are instrumented for coverage and built with the address
# and undefined-behaviour sanitizers, so use a build folder of its own:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DQUORVANE_FUZZ=ON -DQUORVANE_BENCH=OFF
#   cmake --build build-fuzz --target fuzz
#   build-fuzz/tests/hmx_fuzz -max_total_time=600 -timeout=10 CORPUS tests/data/fuzz/hmx
# (regexpr takes -dict=tests/kernel/regexpr_fuzz.dict -max_len=2600.)

option(QUORVANE_FUZZ "Build the libFuzzer targets (clang only)" OFF)

set(QUORVANE_FUZZ_TARGETS
    platform/memdataset
    platform/inifile
    platform/dataset_filter
    platform/xlsxreader
    translation/statements
    kernel/regexpr
    kernel/normalizedate
    kernel/compstream
    analysers/hmx
    analysers/hitachi
    analysers/miditron
    analysers/integra
    analysers/comslots
    analysers/protocolfile
    analysers/msgparser
    analysers/decoders
    reports/exprparser
    app/bfareport
    app/spoolfiles
    app/emfwalk)

get_filename_component(_fuzz_tests ${CMAKE_CURRENT_LIST_DIR} DIRECTORY)

set(_fuzz_programs OFF)
if(QUORVANE_FUZZ)
  if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    set(_fuzz_programs ON)
  else()
    message(WARNING "QUORVANE_FUZZ needs clang (CC=clang CXX=clang++); only the replays are built")
  endif()
endif()

if(_fuzz_programs)
  set(_fuzz_sanitizers -fsanitize=address,undefined -fno-sanitize-recover=undefined
      -fno-omit-frame-pointer)
  foreach(lib platform platform_workbook platform_ui platform_testing translation kernel schema
              analysers reports app windowtour quorvane_pch_core quorvane_pch_ui)
    if(TARGET ${lib})
      get_target_property(_type ${lib} TYPE)
      if(NOT _type STREQUAL "INTERFACE_LIBRARY")
        target_compile_options(${lib} PRIVATE -fsanitize=fuzzer-no-link ${_fuzz_sanitizers})
        target_link_options(${lib} INTERFACE ${_fuzz_sanitizers})
      endif()
    endif()
  endforeach()
  add_custom_target(fuzz)
endif()

# One executable of the target's source and `extra`, linked to its library (and to the scripted
# test doubles where they form a library of their own).
function(_quorvane_fuzz_executable exe lib src)
  add_executable(${exe} ${src} ${ARGN})
  target_include_directories(${exe} PRIVATE ${_fuzz_tests})
  target_link_libraries(${exe} PRIVATE ${lib})
  if(TARGET platform_testing)
    target_link_libraries(${exe} PRIVATE platform_testing)
  endif()
  quorvane_target_options(${exe})
endfunction()

foreach(_entry ${QUORVANE_FUZZ_TARGETS})
  get_filename_component(_lib ${_entry} DIRECTORY)
  get_filename_component(_name ${_entry} NAME)
  set(_src ${_fuzz_tests}/${_lib}/${_name}_fuzz.cpp)
  # A build folder that takes only some suites (the sanitizer builds) replays only their corpora.
  if(NOT _lib IN_LIST QUORVANE_TEST_SUITES)
    continue()
  endif()

  _quorvane_fuzz_executable(${_name}_replay ${_lib} ${_src}
                            ${_fuzz_tests}/support/fuzz_replay_main.cpp)
  add_test(NAME Fuzz.${_name} COMMAND ${_name}_replay ${_fuzz_tests}/data/fuzz/${_name})
  set_tests_properties(Fuzz.${_name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUORVANE_FATAL_SOFT_CHECKS=1" TIMEOUT 120)

  if(_fuzz_programs)
    _quorvane_fuzz_executable(${_name}_fuzz ${_lib} ${_src})
    target_compile_options(${_name}_fuzz PRIVATE -fsanitize=fuzzer ${_fuzz_sanitizers})
    target_link_options(${_name}_fuzz PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzz ${_name}_fuzz)
  endif()
endforeach()
