# qb_add_layer(<folder> [<lower layer>...])
# Builds every .cpp of <folder> (but main.cpp) into the static library qb_<folder>, which
# publishes the project root as include root ("core/Colour.h") and links the
# layers it is allowed to use.
function(qb_add_layer folder)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  # A folder's main.cpp is its program, not part of its library.
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT sources)
    # A layer whose code is still to come: an empty library keeps the
    # targets that link it valid.
    set(placeholder ${CMAKE_BINARY_DIR}/empty_${folder}.cpp)
    file(WRITE ${placeholder} "")
    set(sources ${placeholder})
  endif()
  add_library(qb_${folder} STATIC ${sources})
  target_include_directories(qb_${folder} PUBLIC ${CMAKE_SOURCE_DIR})
  foreach(lower IN LISTS ARGN)
    target_link_libraries(qb_${folder} PUBLIC qb_${lower})
  endforeach()
endfunction()

# qb_add_test_suite(<folder> <library>...)
# One GoogleTest executable per source folder, from the .cpp files under
# tests/<folder>/, whose subfolders mirror the folder's own.
function(qb_add_test_suite folder)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/${folder}/*.cpp)
  # helpers/ and x11/ folders hold programs of their own, built beside the suite.
  list(FILTER sources EXCLUDE REGEX "/tests/${folder}/(.*/)?(helpers|x11)/")
  if(NOT sources)
    return()
  endif()
  add_executable(test_${folder} ${sources})
  target_link_libraries(test_${folder} PRIVATE ${ARGN} qb_test_support
                        GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(test_${folder} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
