# Shared target helpers: warnings, sanitizers and the one way to add a test.

# Narrow string literals of code without Qt are internal text (GB18030): "归类前文件路径.txt" in an
# engine is already the bytes the engine works with. Qt code keeps UTF-8 literals for QString.
# Headers shared by both kinds must therefore not define Chinese literals inline: such constants are
# declared in the header and defined in the engine's .cpp.
function(chengling_target_defaults target)
  cmake_parse_arguments(ARG "QT" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  # GCC 12 at -O2 takes "text" + std::string for an overlapping copy inside libstdc++ (its bug
  # 105329) and warns wherever that is inlined; later releases do not.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  if(NOT ARG_QT AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -fexec-charset=GB18030)
  endif()
  if(CHENGLING_FUZZ)
    # Coverage of the libraries is what guides the fuzzer.
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
  endif()
  if(CHENGLING_SANITIZE)
    target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-omit-frame-pointer
                                             -fno-sanitize-recover=undefined)
    target_link_options(${target} PRIVATE -fsanitize=address,undefined)
  endif()
endfunction()

# chengling_library(NAME [QT] SOURCES... [LIBS...]): a static library in its folder, headers found
# from src/ ("foundation/text_codec.h"). QT marks a library of Qt code (UTF-8 literals, automoc);
# its sources join the check that Qt code holds no ordinary literal beyond ASCII
# (tests/source_check).
function(chengling_library name)
  cmake_parse_arguments(ARG "QT" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    chengling_target_defaults(${name} QT)
    set_property(GLOBAL APPEND PROPERTY CHENGLING_QT_PRODUCT_TARGETS ${name})
  else()
    chengling_target_defaults(${name})
  endif()
endfunction()

# chengling_test(NAME [GUI] SOURCES... LIBS...): one GoogleTest executable whose cases ctest runs
# one by one. GUI tests are Qt code and run on Qt's offscreen platform; they provide their own main()
# that creates the QApplication (tests/support/gui_test_main.cpp). chengling_test_support gives
# TempDir and a private CHENGLING_HOME.
function(chengling_test name)
  if(NOT CHENGLING_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "GUI" "" "SOURCES;LIBS" ${ARGN})
  if(NOT ARG_SOURCES)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} chengling_test_support GTest::gtest GTest::gmock)
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE chengling_gui_test_main Qt6::Test)
  else()
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  set(env "CHENGLING_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
  if(ARG_GUI)
    list(APPEND env "QT_QPA_PLATFORM=offscreen")
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    chengling_target_defaults(${name} QT)
  else()
    chengling_target_defaults(${name})
  endif()
  gtest_discover_tests(${name} PROPERTIES ENVIRONMENT "${env}" TIMEOUT 300 DISCOVERY_TIMEOUT 60)
endfunction()

# chengling_command_test(NAME LABELS label... COMMAND command args...): a test that is a command
# (a validator, a script) rather than GoogleTest cases; the labels let ctest pick or skip it.
function(chengling_command_test name)
  if(NOT CHENGLING_TESTS)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "LABELS;COMMAND" ${ARGN})
  add_test(NAME ${name} COMMAND ${ARG_COMMAND})
  set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}" TIMEOUT 600)
endfunction()

# chengling_fuzzer(NAME SOURCES... LIBS...): a libFuzzer target with CHENGLING_FUZZ. In a test build
# the same target is linked with a replay driver instead and run by ctest over its seeds in
# fuzz/corpus/NAME once, so that every input saved there (a crash found later) stays a regression case.
function(chengling_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(CHENGLING_FUZZ)
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  elseif(CHENGLING_TESTS)
    add_executable(${name}_replay ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/fuzz_replay_main.cpp)
    target_link_libraries(${name}_replay PRIVATE ${ARG_LIBS})
    chengling_target_defaults(${name}_replay)
    add_test(NAME ${name} COMMAND ${name}_replay ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    set_tests_properties(${name} PROPERTIES LABELS fuzz TIMEOUT 300)
  endif()
endfunction()

# chengling_tool(NAME [QT_FILES stem...] [ENGINE_LIBS...] [TEST_LIBS...]) in a tool's folder:
#   NAME_engine        every .cpp but tests, fuzz targets and the Qt files (no Qt)
#   NAME_engine_test   the tests of those files
#   NAME_window        the Qt files: every *_window.cpp and each QT_FILES stem ("table_grid")
#   NAME_window_test   their tests (*_window_test.cpp, stem_test.cpp) on the offscreen platform
#   one libFuzzer target per *_fuzz.cpp, over the engine
# so that a window test is never compiled into the Qt-free engine tests.
function(chengling_tool name)
  cmake_parse_arguments(ARG "" "" "QT_FILES;ENGINE_LIBS;TEST_LIBS" ${ARGN})
  set(qt "_window")
  foreach(stem ${ARG_QT_FILES})
    string(APPEND qt "|/${stem}")
  endforeach()
  file(GLOB all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)

  set(engine_sources ${all})
  list(FILTER engine_sources EXCLUDE REGEX "(_test|_fuzz|${qt})\\.cpp$")
  set(engine_tests ${all})
  list(FILTER engine_tests INCLUDE REGEX "_test\\.cpp$")
  list(FILTER engine_tests EXCLUDE REGEX "(${qt})_test\\.cpp$")
  chengling_library(${name}_engine SOURCES ${engine_sources} LIBS foundation ${ARG_ENGINE_LIBS})
  chengling_test(${name}_engine_test SOURCES ${engine_tests} LIBS ${name}_engine ${ARG_TEST_LIBS})

  set(window_sources ${all})
  list(FILTER window_sources INCLUDE REGEX "(${qt})\\.cpp$")
  set(window_tests ${all})
  list(FILTER window_tests INCLUDE REGEX "(${qt})_test\\.cpp$")
  if(window_sources)
    chengling_library(${name}_window QT SOURCES ${window_sources}
                      LIBS ${name}_engine shell_gui platform Qt6::Widgets)
    chengling_test(${name}_window_test GUI
                   SOURCES ${window_tests} ${PROJECT_SOURCE_DIR}/src/platform/offscreen_for_tests.cpp
                   LIBS ${name}_window chengling_window_test_support ${ARG_TEST_LIBS})
  endif()

  file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_fuzz.cpp)
  foreach(fuzzer ${fuzzers})
    get_filename_component(stem ${fuzzer} NAME_WE)
    chengling_fuzzer(${stem} SOURCES ${fuzzer} LIBS ${name}_engine)
  endforeach()
endfunction()
