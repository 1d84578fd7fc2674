# Shared CMake helpers.

# TOLVI_ONLY: an optional list of folders (relative to the source root, e.g. "TolviCore/model;tests/TolviCore/model")
# to limit a development build to; their parents and subfolders are added, nothing else. Empty: everything.
set(TOLVI_ONLY "" CACHE STRING "Limit the build to these folders (development builds only)")

function(_tolvi_folder_selected rel out)
  if(NOT TOLVI_ONLY)
    set(${out} TRUE PARENT_SCOPE)
    return()
  endif()
  foreach(entry IN LISTS TOLVI_ONLY)
    string(FIND "${entry}/" "${rel}/" at_entry)
    string(FIND "${rel}/" "${entry}/" at_rel)
    if(at_entry EQUAL 0 OR at_rel EQUAL 0)
      set(${out} TRUE PARENT_SCOPE)
      return()
    endif()
  endforeach()
  set(${out} FALSE PARENT_SCOPE)
endfunction()

# Adds every immediate subfolder of the current source folder that has a CMakeLists.txt.
function(tolvi_add_subdirectories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/*")
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${child}" AND EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt")
      file(RELATIVE_PATH rel "${PROJECT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/${child}")
      _tolvi_folder_selected("${rel}" selected)
      if(selected)
        add_subdirectory(${child})
      endif()
    endif()
  endforeach()
endfunction()

# tolvi_add_library(<name> [SOURCES ...] LIBS ...)
#
# The static library of a subsystem folder: every .cpp and .h file directly in the current source folder
# (a file added or removed there is seen at the next build), plus SOURCES (resources, generated files). The
# source root is its public include folder, so its headers are included as "Tolvi/<folder>/<file>.h"; LIBS
# are its public link libraries.
function(tolvi_add_library name)
  cmake_parse_arguments(L "" "" "SOURCES;LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp" "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  add_library(${name} STATIC ${sources} ${L_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${L_LIBS})
endfunction()

# tolvi_add_gtest(<name> SOURCES ... [LIBS ...] [QT none|core|gui|widgets] [X11] [WM] [TRAY] [SWAY] [TIMEOUT s]
#                 [LABELS ...] [SCREENS <offscreen configuration file>] [COLOUR_EMOJI] [SERIAL])
#
# Builds a GoogleTest binary with the shared test main and registers it with ctest.
#   QT      which Qt application object the test main creates (default: core).
#           gui/widgets run on the offscreen platform unless X11 is given.
#   X11     runs the whole binary under its own Xvfb server (tests/support/with-x11).
#   WM      with X11: also starts openbox, for tests that need EWMH.
#   TRAY    with X11: also starts trayer, for tests that need a system tray.
#   SWAY    runs the whole binary inside its own headless sway session with XWayland and a focused
#           Wayland-native window (tests/support/with-sway); Qt itself stays offscreen.
#   SCREENS the offscreen platform's JSON configuration (for example several screens).
#   COLOUR_EMOJI  the test fonts include a colour emoji font (tests/support/TestFonts.h); every
#           binary draws with the test fonts only, whatever the machine has installed.
#   SERIAL  offscreen tests that each run alone: they measure the main thread while views take in
#           texts of tens of megabytes, and other tests' memory traffic would be measured with it.
# Offscreen tests are discovered test by test; X11 and sway tests run as one ctest entry per binary, each
# alone: they drive real windows, focus and key presses, whose timing other tests' load would upset.
function(tolvi_add_gtest name)
  cmake_parse_arguments(T "X11;WM;TRAY;SWAY;COLOUR_EMOJI;SERIAL" "QT;TIMEOUT;SCREENS" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_QT)
    set(T_QT core)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES} ${PROJECT_SOURCE_DIR}/tests/support/TestMain.cpp
                 ${PROJECT_SOURCE_DIR}/tests/support/TestFonts.cpp)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(${name} PRIVATE GTest::gtest GTest::gmock ${T_LIBS})
  if(T_COLOUR_EMOJI)
    target_compile_definitions(${name} PRIVATE TOLVI_TEST_COLOUR_EMOJI=1)
  endif()
  if(T_QT STREQUAL "none")
    target_compile_definitions(${name} PRIVATE TOLVI_TEST_QT_NONE=1)
    target_link_libraries(${name} PRIVATE Qt6::Core)
  elseif(T_QT STREQUAL "core")
    target_compile_definitions(${name} PRIVATE TOLVI_TEST_QT_CORE=1)
    target_link_libraries(${name} PRIVATE Qt6::Core)
  elseif(T_QT STREQUAL "gui")
    target_compile_definitions(${name} PRIVATE TOLVI_TEST_QT_GUI=1)
    target_link_libraries(${name} PRIVATE Qt6::Gui)
  elseif(T_QT STREQUAL "widgets")
    target_compile_definitions(${name} PRIVATE TOLVI_TEST_QT_WIDGETS=1)
    target_link_libraries(${name} PRIVATE Qt6::Widgets)
  else()
    message(FATAL_ERROR "tolvi_add_gtest(${name}): QT must be none, core, gui or widgets")
  endif()

  set(sanitizer_env "")
  if(TOLVI_SANITIZE STREQUAL "address")
    set(sanitizer_env "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/support/lsan.supp"
                      "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
  endif()

  if(T_SWAY)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-sway -- $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "wayland;${T_LABELS}" RUN_SERIAL TRUE
                         ENVIRONMENT "TOLVI_TEST_SWAY=1;QT_QPA_PLATFORM=offscreen;${sanitizer_env}")
  elseif(T_X11)
    set(flags "")
    if(T_WM)
      list(APPEND flags --wm)
    endif()
    if(T_TRAY)
      list(APPEND flags --tray)
    endif()
    add_test(NAME ${name}
             COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with-x11 ${flags} -- $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "x11;${T_LABELS}" RUN_SERIAL TRUE
                         ENVIRONMENT "TOLVI_TEST_X11=1;${sanitizer_env}")
  else()
    include(GoogleTest)
    set(platform offscreen)
    if(T_SCREENS)
      set(platform "offscreen:configfile=${T_SCREENS}")
    endif()
    set(props TIMEOUT ${T_TIMEOUT} ENVIRONMENT "QT_QPA_PLATFORM=${platform};${sanitizer_env}")
    if(T_LABELS)
      list(APPEND props LABELS "${T_LABELS}")
    endif()
    if(T_SERIAL)
      list(APPEND props RUN_SERIAL TRUE)
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
  endif()
endfunction()

# tolvi_add_benchmark(<name> SOURCES ... [LIBS ...] [NO_MAIN])
# Builds a Google Benchmark binary. Benchmarks are built with the tree but never run by ctest.
# NO_MAIN: the sources bring their own main() (for example to create a Qt application object).
function(tolvi_add_benchmark name)
  cmake_parse_arguments(B "NO_MAIN" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  target_link_libraries(${name} PRIVATE benchmark::benchmark ${B_LIBS})
  if(NOT B_NO_MAIN)
    target_link_libraries(${name} PRIVATE benchmark::benchmark_main)
  endif()
endfunction()
