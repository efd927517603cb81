# The Windows program: cross-built with the "windows" preset into
# build/windows, then checked statically (PE file) and under Wine.
# The cross-build does not depend on this build's sanitizer settings, so a
# sanitizer build does not run it again.
if(TAVRINO_SANITIZE)
  return()
endif()
add_test(NAME windows_program COMMAND ${PROJECT_SOURCE_DIR}/tests/windows/check.sh
                                      ${PROJECT_SOURCE_DIR})
# 77: the cross compiler or Wine is not installed. Serial: the cross-build
# uses every core and the Wine run wants a quiet machine.
set_tests_properties(windows_program PROPERTIES TIMEOUT 900 SKIP_RETURN_CODE 77 RUN_SERIAL TRUE
                                                LABELS "windows")
