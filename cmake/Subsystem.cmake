# One static library per subsystem folder: every .cpp of the folder belongs to it, and the
# folder's parent (src/) is the include root, so headers are included as "dsp/biquad_filter.h".
function(valvo_subsystem name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} PRIVATE valvo_warnings)
endfunction()

# One GoogleTest executable per subsystem, every test of it registered with CTest.
function(valvo_test_suite name)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
       ${PROJECT_SOURCE_DIR}/tests/support/*.cpp)
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gtest GTest::gtest_main
                                        valvo_warnings)
  # libjack names a client's sockets by client name and user, not by server: two tests with
  # the amp's clients on two private servers at once can take each other's sockets, so the
  # suites on a JACK server run one test at a time.
  if("jack_fixture" IN_LIST ARG_DEPENDS)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120 PROPERTIES RESOURCE_LOCK jack_server)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 120)
  endif()
endfunction()
