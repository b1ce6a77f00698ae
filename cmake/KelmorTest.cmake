include(GoogleTest)

# kelmor_add_test(name sources... LINKS libraries... [WIDGETS] [TIMEOUT seconds]): one test binary of
# one layer, linked with that layer's library and the shared test support, every test registered in
# CTest (each with 120 s unless told). Widget tests get a QApplication on the offscreen platform, the
# others a QCoreApplication.
function(kelmor_add_test name)
  cmake_parse_arguments(ARG "WIDGETS" "TIMEOUT" "LINKS" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  if(ARG_WIDGETS)
    target_link_libraries(${name} PRIVATE ${ARG_LINKS} kelmor_testmain_widgets)
  else()
    target_link_libraries(${name} PRIVATE ${ARG_LINKS} kelmor_testmain)
  endif()
  kelmor_warnings(${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZQLINK_PORTS=" TIMEOUT ${ARG_TIMEOUT})
endfunction()
