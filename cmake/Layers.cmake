# kelmor_layer(name [PLAIN] SOURCES sources... LINKS targets...): the library of one folder. Its
# include root is the source tree, so headers are named by folder ("link/deviceslot.h"); what it may
# include is bounded by what it links, and the layering test checks the includes themselves.
# PLAIN is a library in plain C++, without Qt's code generators.
function(kelmor_layer name)
  cmake_parse_arguments(ARG "PLAIN" "" "SOURCES;LINKS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINKS})
  if(NOT ARG_PLAIN)
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON)
  endif()
  kelmor_warnings(${name})
endfunction()
