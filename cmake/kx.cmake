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

# Tests mirror src/: tests/<sub>/*_test.cpp make <sub>_tests; files ending in
# _concurrency_test.cpp make <sub>_concurrency_tests, labelled "concurrency" so the
# ThreadSanitizer configuration can run just those.
function(kx_test_dir sub)
  set(_libs ${ARGN})
  file(GLOB _plain CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp")
  file(GLOB _conc CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_concurrency_test.cpp")
  file(GLOB _gui CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_gui_test.cpp")
  if(_conc)
    list(REMOVE_ITEM _plain ${_conc})
  endif()
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
      break()
    endif()
  endforeach()
  if(_plain)
    add_executable(${sub}_tests ${_plain})
    target_link_libraries(${sub}_tests PRIVATE ${_libs} kx_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${sub}_tests DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS "${sub}" ENVIRONMENT "KX_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
      DISCOVERY_TIMEOUT 60)
  endif()
  if(_conc)
    add_executable(${sub}_concurrency_tests ${_conc})
    target_link_libraries(${sub}_concurrency_tests PRIVATE ${_libs} kx_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${sub}_concurrency_tests DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS concurrency ENVIRONMENT "KX_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
      DISCOVERY_TIMEOUT 60)
  endif()
  # Tests that open a real window (on an X server of their own) are labelled "gui" and
  # each is stopped after a minute, whatever it waits for.
  if(_gui AND NOT KX_SANITIZE STREQUAL "thread")
    add_executable(${sub}_gui_tests ${_gui})
    target_link_libraries(${sub}_gui_tests PRIVATE ${_libs} kx_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${sub}_gui_tests DISCOVERY_MODE PRE_TEST
      PROPERTIES LABELS gui TIMEOUT 60 ENVIRONMENT "KX_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
      DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
