# Tests of the embedded pictures; included from tests/CMakeLists.txt.
if(NOT TARGET GTest::gtest_main)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

add_executable(resources_test ${CMAKE_CURRENT_LIST_DIR}/resources_test.cpp)
target_link_libraries(resources_test PRIVATE tavrino_resources tavrino_warnings GTest::gtest_main)
gtest_discover_tests(resources_test)
