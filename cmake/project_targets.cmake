# Compiler settings shared by every target of ours, and the helpers that declare
# libraries and test programs the same way in every folder.

set(QV_WARNINGS -Wall -Wextra -Werror)
set(QV_SANITIZE_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
set(QV_SANITIZE_THREAD_FLAGS -fsanitize=thread -fno-omit-frame-pointer)

function(qv_target_settings target)
  target_compile_options(${target} PRIVATE ${QV_WARNINGS})
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR})
  if(QV_SANITIZE)
    target_compile_options(${target} PRIVATE ${QV_SANITIZE_FLAGS})
    target_link_options(${target} PRIVATE ${QV_SANITIZE_FLAGS})
  endif()
  if(QV_SANITIZE_THREAD)
    target_compile_options(${target} PRIVATE ${QV_SANITIZE_THREAD_FLAGS})
    target_link_options(${target} PRIVATE ${QV_SANITIZE_THREAD_FLAGS})
  endif()
  if(WIN32)
    # One self-contained executable: no libgcc, libstdc++ or winpthread DLLs to ship.
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX
                                                  _WIN32_WINNT=0x0601)
    # The version resource shows the project version, the one the installer carries too.
    target_compile_definitions(${target} PRIVATE
      $<$<COMPILE_LANGUAGE:RC>:QV_VERSION_MAJOR=${CMAKE_PROJECT_VERSION_MAJOR}>
      $<$<COMPILE_LANGUAGE:RC>:QV_VERSION_MINOR=${CMAKE_PROJECT_VERSION_MINOR}>
      $<$<COMPILE_LANGUAGE:RC>:QV_VERSION_PATCH=${CMAKE_PROJECT_VERSION_PATCH}>)
  endif()
endfunction()

# qv_library(name SOURCES ... [LIBS ...])
function(qv_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  qv_target_settings(${name})
  if(ARG_LIBS)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
  endif()
endfunction()

# Environment of every Windows test: the build's bitness, by which tests/support/wine (the
# emulator, and what the test scripts start Wine with) picks the Wine loader; no debug
# chatter, and no prompts to install Mono or Gecko.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(QV_WINE_ARCH win64)
else()
  set(QV_WINE_ARCH win32)
endif()
set(QV_WINE_BASE_ENV QV_WINE_ARCH=${QV_WINE_ARCH} WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=)
# ... and for test programs that share the build tree's one Wine prefix.
set(QV_WINE_ENV WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix ${QV_WINE_BASE_ENV})

# qv_test(name SOURCES ... [LIBS ...] [TIMEOUT s] [LABELS ...])
# One GoogleTest program registered as one CTest test; the test script reads the
# GoogleTest XML reports to count the individual cases.
function(qv_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  qv_target_settings(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gmock GTest::gtest_main Threads::Threads)
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
                       WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
  if(WIN32)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${QV_WINE_ENV}"
                         FIXTURES_REQUIRED wine_prefix)
  endif()
endfunction()

# The Wine prefix of a Windows test that needs one of its own, in `out`: the wine_prefix
# fixture makes it as a copy of the tree's prefix before the first test runs.
function(qv_wine_prefix out name)
  set(prefix ${CMAKE_BINARY_DIR}/wineprefix-${name})
  set_property(GLOBAL APPEND PROPERTY QV_WINE_PREFIXES ${prefix})
  set(${out} ${prefix} PARENT_SCOPE)
endfunction()

# Environment for a Windows test that needs a Wine session of its own: a prefix of its own.
# All GUI programs of one prefix share one desktop process, bound to the X display of the
# first of them; a test on another virtual display would wait on it once that display is gone.
# Wine's spooler reads the printer list once per session, in the environment of the first
# program that loads it; a test that prints through a CUPS scheduler of its own must be first.
function(qv_wine_own_env out name)
  qv_wine_prefix(prefix ${name})
  set(${out} WINEPREFIX=${prefix} ${QV_WINE_BASE_ENV} PARENT_SCOPE)
endfunction()
