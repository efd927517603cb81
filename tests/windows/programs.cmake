# Windows programs for the Wine checks (tests/windows/check.sh):
#  - explorer.exe and start.exe: record how they were started;
#  - tavrino-win32-probe.exe: drives the Win32 backend through the runtime.
set(_dir ${PROJECT_SOURCE_DIR}/tests/windows)
foreach(_name explorer start)
  add_executable(recorder_${_name} WIN32 ${_dir}/recorder.c)
  set_target_properties(recorder_${_name} PROPERTIES OUTPUT_NAME ${_name}
                                                     RUNTIME_OUTPUT_DIRECTORY
                                                     ${PROJECT_BINARY_DIR}/recorders)
  target_link_options(recorder_${_name} PRIVATE -static -mwindows)
  target_compile_options(recorder_${_name} PRIVATE -Wall -Wextra -Wpedantic -Werror)
endforeach()

add_executable(tavrino-win32-probe ${_dir}/backend_probe.cpp)
target_link_libraries(tavrino-win32-probe PRIVATE tavrino_windows tavrino_win32 tavrino_warnings)
target_link_options(tavrino-win32-probe PRIVATE -static -static-libgcc -static-libstdc++)
