# korvex_library(<name> [DEPS targets...])
#   One static library per source folder, built from every .cpp in it, so that
#   adding a file never means editing a list.
function(korvex_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  if(NOT _srcs)
    # Header-only until its first .cpp lands.
    add_library(korvex_${name} INTERFACE)
    target_include_directories(korvex_${name} INTERFACE "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(korvex_${name} INTERFACE ${ARG_DEPS})
    return()
  endif()
  add_library(korvex_${name} STATIC ${_srcs})
  target_include_directories(korvex_${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(korvex_${name} PUBLIC ${ARG_DEPS})
endfunction()

# korvex_test_suite(<folder> [DEPS targets...])
#   One GoogleTest binary per tests/ sub-folder, from every *_test.cpp in it.
function(korvex_test_suite folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cpp"
                                    "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_support.cpp")
  if(NOT _srcs)
    return()
  endif()
  set(_exe korvex_${folder}_tests)
  add_executable(${_exe} ${_srcs})
  target_include_directories(${_exe} PRIVATE "${CMAKE_CURRENT_SOURCE_DIR}" "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${_exe} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${_exe} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 LABELS ${folder})
endfunction()
