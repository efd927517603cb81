# The Win32 program, tavrino1.5.exe: a statically linked GUI executable whose
# only resources are the version block and the program icon.

add_library(tavrino_win32 STATIC
  ${PROJECT_SOURCE_DIR}/platform/win32/win32_backend.cpp
  ${PROJECT_SOURCE_DIR}/platform/win32/browser_pane.cpp
  ${PROJECT_SOURCE_DIR}/platform/win32/program_search.cpp)
target_include_directories(tavrino_win32 PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(tavrino_win32 PUBLIC UNICODE _UNICODE NOMINMAX)
target_link_libraries(tavrino_win32 PUBLIC tavrino_platform ole32 oleaut32 uuid shell32 gdi32
                                           user32 wininet
                                    PRIVATE tavrino_warnings)

# Resources: generated raw from app/version_info.h and the icon images, then
# compiled by windres into an object linked into the program.
set(_res_dir ${PROJECT_BINARY_DIR}/generated/app/windows)
set(_res_script ${CMAKE_CURRENT_SOURCE_DIR}/windows/make_resources.py)
add_custom_command(
  OUTPUT ${_res_dir}/tavrino.rc ${_res_dir}/version.bin ${_res_dir}/icon_group.bin
  COMMAND ${Python3_EXECUTABLE} ${_res_script} ${CMAKE_CURRENT_SOURCE_DIR}/version_info.h
          ${TAVRINO_GENERATED_DIR}/icon32.bin ${TAVRINO_GENERATED_DIR}/icon16.bin ${_res_dir}
  DEPENDS ${_res_script} ${CMAKE_CURRENT_SOURCE_DIR}/version_info.h tavrino_generated
          ${TAVRINO_GENERATED_DIR}/icon32.bin ${TAVRINO_GENERATED_DIR}/icon16.bin
  COMMENT "Generating the Windows resources"
  VERBATIM)
add_custom_command(
  OUTPUT ${_res_dir}/tavrino_res.obj
  COMMAND ${CMAKE_RC_COMPILER} -O coff -i ${_res_dir}/tavrino.rc -o ${_res_dir}/tavrino_res.obj
  DEPENDS ${_res_dir}/tavrino.rc ${_res_dir}/version.bin ${_res_dir}/icon_group.bin
  COMMENT "Compiling the Windows resources"
  VERBATIM)
set_source_files_properties(${_res_dir}/tavrino_res.obj PROPERTIES EXTERNAL_OBJECT TRUE
                                                                   GENERATED TRUE)

add_executable(tavrino WIN32 main_win32.cpp ${_res_dir}/tavrino_res.obj)
set_target_properties(tavrino PROPERTIES OUTPUT_NAME "tavrino1.5")
target_link_libraries(tavrino PRIVATE tavrino_windows tavrino_win32 tavrino_warnings)
# No DLL beyond Windows' own, a GUI program without a console, stripped.
target_link_options(tavrino PRIVATE -static -static-libgcc -static-libstdc++ -mwindows -s)
# Image version 1.5. CMake writes its own image version (0.0 without a
# VERSION property, which would also make it add versioned file names) ahead
# of the libraries, so the flag goes with the libraries to come last.
target_link_libraries(tavrino PRIVATE "-Wl,--major-image-version,1,--minor-image-version,5")

# Programs that the Wine checks run beside the shipped one.
option(TAVRINO_WINDOWS_TEST_PROGRAMS "Build the Windows test programs" ON)
if(TAVRINO_WINDOWS_TEST_PROGRAMS)
  include(${PROJECT_SOURCE_DIR}/tests/windows/programs.cmake)
endif()
