include(GoogleTest)

# kelmor_add_test(name sources...): one test binary that links the program's
# libraries and the shared test support, with every test registered in CTest.
function(kelmor_add_test name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE kelmor_testsupport)
  kelmor_warnings(${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZQLINK_PORTS=" TIMEOUT 120)
endfunction()
