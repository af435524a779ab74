find_package(GTest REQUIRED)
include(GoogleTest)

# harbeat_engine_test(<name> <sources>...): a GoogleTest program against the internal engine
# library and the test support code; each TEST becomes its own ctest entry.
function(harbeat_engine_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE corvane_core harbeat_test_support GTest::gtest GTest::gtest_main harbeat_options)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()
