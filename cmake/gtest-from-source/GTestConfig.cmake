# find_package(GTest) for cross builds: builds GoogleTest from Debian's
# sources (/usr/src/googletest, package googletest) with the current
# toolchain, once per build tree, and provides the usual imported names
# GTest::gtest, GTest::gtest_main, GTest::gmock and GTest::gmock_main.
if(TARGET GTest::gtest)
  set(GTest_FOUND TRUE)
  return()
endif()

set(HV_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${HV_GTEST_SOURCE_DIR}/CMakeLists.txt)
  set(GTest_FOUND FALSE)
  set(GTest_NOT_FOUND_MESSAGE
      "GoogleTest sources not found in ${HV_GTEST_SOURCE_DIR} (apt-get install googletest)")
  return()
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${HV_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# GoogleTest is third-party code: it does not take the project's -Werror.
foreach(target gtest gtest_main gmock gmock_main)
  if(TARGET ${target})
    get_target_property(options ${target} COMPILE_OPTIONS)
    if(options)
      list(REMOVE_ITEM options -Werror)
      set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS ${options})
    endif()
    if(NOT TARGET GTest::${target})
      add_library(GTest::${target} ALIAS ${target})
    endif()
  endif()
endforeach()
set(GTest_FOUND TRUE)
