# Tests of the embedded pictures; included from tests/CMakeLists.txt.
if(NOT TARGET GTest::gtest_main)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

add_executable(resources_test ${CMAKE_CURRENT_LIST_DIR}/resources_test.cpp)
target_link_libraries(resources_test PRIVATE tavrino_resources tavrino_warnings GTest::gtest_main)
gtest_discover_tests(resources_test)

# The icon theme's PNGs against the icon images they are scaled from.
add_test(NAME resources_icon_pngs
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/icon_png_test.py
                 ${TAVRINO_GENERATED_DIR})
