# End-to-end tests of the shipped tavrino program in real windows, under Xvfb
# and openbox in a network namespace of their own (label "e2e"; root needed).
if(NOT TARGET tavrino)
  return()
endif()

add_executable(e2e_recorder ${CMAKE_CURRENT_LIST_DIR}/e2e/recorder.cpp)
target_link_libraries(e2e_recorder PRIVATE tavrino_warnings)
find_package(PkgConfig REQUIRED)
pkg_check_modules(E2E_X11 REQUIRED IMPORTED_TARGET x11)
add_executable(e2e_wm_close ${CMAKE_CURRENT_LIST_DIR}/e2e/wm_close.cpp)
target_link_libraries(e2e_wm_close PRIVATE PkgConfig::E2E_X11 tavrino_warnings)

set(_e2e_scenarios start updates about resize exit close_request no_site web_process_crash
                   missing_program installed glyphs demo_run keyboard keyboard_updates
                   keyboard_crash hostile_files hostile_links hostile_busy
                   hostile_busy_display_gone)
foreach(scenario ${_e2e_scenarios})
  add_test(NAME e2e.${scenario}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/e2e/e2e.py
                   --binary $<TARGET_FILE:tavrino> --build-dir ${PROJECT_BINARY_DIR}
                   --cmake ${CMAKE_COMMAND}
                   --recorder $<TARGET_FILE:e2e_recorder> --wm-close $<TARGET_FILE:e2e_wm_close>
                   --site ${PROJECT_SOURCE_DIR}/demo/site
                   --product-host ${TAVRINO_PRODUCT_HOST} --maker-host ${TAVRINO_MAKER_HOST}
                   ${scenario})
  set_tests_properties(e2e.${scenario} PROPERTIES LABELS e2e TIMEOUT 120)
endforeach()

# The demo site's loopback server (scripts/run-linux.sh): what it answers and
# what it refuses.
add_test(NAME demo_server COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/demo/serve_test.py)
set_tests_properties(demo_server PROPERTIES LABELS demo TIMEOUT 30)
