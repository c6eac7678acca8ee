# One static library per subsystem folder; every .cpp in the folder belongs to it.
function(kx_library name dir)
  file(GLOB _srcs CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.c")
  if(NOT _srcs)
    # A subsystem whose units have not been written yet still gives a library.
    set(_srcs "${PROJECT_SOURCE_DIR}/cmake/empty.cpp")
  endif()
  add_library(${name} STATIC ${_srcs})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
endfunction()

# GoogleTest, built apart from us, leaves the C++ library's string members to the shared
# library. Naming that library right after it keeps the linker from taking them from any
# archive member of ours that carries an inline copy, which would pull that unit in with
# needs a test binary does not meet.
set(KX_GTEST_LIBS GTest::gtest GTest::gmock GTest::gtest_main stdc++)

# Tests mirror src/: tests/<sub>/*_test.cpp make <sub>_tests; files ending in
# _concurrency_test.cpp make <sub>_concurrency_tests, labelled "concurrency" so the
# ThreadSanitizer configuration can run just those.
# EXCLUDE names test files that the folder builds some other way.
function(kx_test_dir sub)
  cmake_parse_arguments(PARSE_ARGV 1 _kx "" "" "EXCLUDE")
  set(_libs ${_kx_UNPARSED_ARGUMENTS})
  file(GLOB _plain CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp")
  foreach(_x IN LISTS _kx_EXCLUDE)
    list(REMOVE_ITEM _plain "${CMAKE_CURRENT_SOURCE_DIR}/${_x}")
  endforeach()
  file(GLOB _conc CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_concurrency_test.cpp")
  file(GLOB _gui CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_gui_test.cpp")
  if(_conc)
    list(REMOVE_ITEM _plain ${_conc})
  endif()
  foreach(_x IN LISTS _kx_EXCLUDE)
    list(REMOVE_ITEM _gui "${CMAKE_CURRENT_SOURCE_DIR}/${_x}")
  endforeach()
  if(_gui)
    list(REMOVE_ITEM _plain ${_gui})
  endif()
  if(KX_SANITIZE STREQUAL "thread")
    set(_plain "")
  endif()
  # Binaries over the shell (not the shell's own, which link its fakes) carry weak
  # stand-ins for its neighbours not yet built.
  foreach(_l ${_libs})
    if(_l MATCHES "^kx_(widgets|wizard|extras)$" AND NOT sub STREQUAL "shell" AND TARGET kx_test_shell_doubles)
      list(APPEND _libs kx_test_shell_doubles)
      if(NOT "kx_wizard" IN_LIST _libs)
        list(APPEND _libs kx_test_app_update_double)
      endif()
      break()
    endif()
  endforeach()
  if(_plain)
    add_executable(${sub}_tests ${_plain})
    target_link_libraries(${sub}_tests PRIVATE ${_libs} kx_test_support ${KX_GTEST_LIBS})
    gtest_discover_tests(${sub}_tests DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS "${sub}" ENVIRONMENT "KX_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
      DISCOVERY_TIMEOUT 60)
  endif()
  if(_conc)
    add_executable(${sub}_concurrency_tests ${_conc})
    target_link_libraries(${sub}_concurrency_tests PRIVATE ${_libs} kx_test_support ${KX_GTEST_LIBS})
    gtest_discover_tests(${sub}_concurrency_tests DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS concurrency ENVIRONMENT "KX_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
      DISCOVERY_TIMEOUT 60)
  endif()
  # Tests that open a real window (on an X server of their own) are labelled "gui" and
  # each is stopped after a minute, whatever it waits for.
  if(_gui AND NOT KX_SANITIZE STREQUAL "thread")
    add_executable(${sub}_gui_tests ${_gui})
    target_link_libraries(${sub}_gui_tests PRIVATE ${_libs} kx_test_support ${KX_GTEST_LIBS})
    gtest_discover_tests(${sub}_gui_tests DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS gui TIMEOUT 60 ENVIRONMENT "KX_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
