# The GTK 4 + WebKitGTK program.
include(GNUInstallDirs)
find_program(GLIB_COMPILE_RESOURCES glib-compile-resources REQUIRED)

# The icon theme's sizes, each a whole-number scaling of the pixel art (see
# resources/generate.py). All of them are installed.
set(_icon_sizes 16 32 48 64 128 256)

# The program icon as a GResource, so the icon theme finds "tavrino" without
# an installation. On X11 GTK hands the window manager one image per fixed
# size the theme has, which docks and task switchers pick from. hicolor's
# 256x256 directory is declared scalable, which GTK would only render at 48
# pixels, so the window goes without that one.
set(_resource_icon_sizes 16 32 48 64 128)
set(_icons_xml ${CMAKE_CURRENT_BINARY_DIR}/tavrino_icons.gresource.xml)
set(_icon_entries "")
set(_icon_pngs "")
foreach(size ${_resource_icon_sizes})
  string(APPEND _icon_entries
         "    <file alias=\"${size}x${size}/apps/tavrino.png\">icon${size}.png</file>\n")
  list(APPEND _icon_pngs ${TAVRINO_GENERATED_DIR}/icon${size}.png)
endforeach()
file(WRITE ${_icons_xml} "<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<gresources>
  <gresource prefix=\"/tavrino/icons\">
${_icon_entries}  </gresource>
</gresources>
")
set(_icons_c ${CMAKE_CURRENT_BINARY_DIR}/tavrino_icons.c)
add_custom_command(
  OUTPUT ${_icons_c}
  COMMAND ${GLIB_COMPILE_RESOURCES} --sourcedir=${TAVRINO_GENERATED_DIR} --generate-source
          --manual-register --c-name=tavrino_icons --target=${_icons_c} ${_icons_xml}
  DEPENDS ${_icons_xml} ${_icon_pngs} tavrino_generated
  COMMENT "Compiling the icon resource"
  VERBATIM)
add_library(tavrino_icons OBJECT ${_icons_c})
target_link_libraries(tavrino_icons PRIVATE PkgConfig::GTK4)

add_executable(tavrino main_gtk.cpp $<TARGET_OBJECTS:tavrino_icons>)
target_link_libraries(tavrino PRIVATE tavrino_windows tavrino_gtk tavrino_warnings)
target_compile_definitions(tavrino
                           PRIVATE TAVRINO_LIBEXEC_DIR="${CMAKE_INSTALL_FULL_LIBEXECDIR}/tavrino")
# bin/ beside libexec/tavrino/, as installed, so the helpers are found
# relative to the binary in the build tree too.
set_target_properties(tavrino PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
add_dependencies(tavrino tavrino_helper_explorer tavrino_helper_start_exe)

install(TARGETS tavrino RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/tavrino.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size ${_icon_sizes})
  install(FILES ${TAVRINO_GENERATED_DIR}/icon${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME tavrino.png)
endforeach()
