# What `cmake --install` puts on a Linux desktop: the program (and the local
# service when it is built), the icon in the hicolor theme, the desktop entry,
# the key-file type, the manual page and the default deployment file.
# Included after every folder is added, so targets made there are known.
#
# Two install components, which the Debian packaging makes two packages of:
# `client`, everything a user's machine needs (the default for every rule
# here), and `service`, the local stand-in service's program alone.
include(GNUInstallDirs)
set(CMAKE_INSTALL_DEFAULT_COMPONENT_NAME client)

# Folders the install creates are world-readable whatever the umask is, so a
# package built from them does not hide /etc/trevasto or the icon folders.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(trevasto_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(trevasto_generated_dir ${PROJECT_BINARY_DIR}/packaging)
set(trevasto_icon ${PROJECT_SOURCE_DIR}/app/qt/resources/trevasto.svg)

if(TARGET trevasto)
  install(TARGETS trevasto RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET trevasto-service)
  install(TARGETS trevasto-service RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT service)
endif()

# Icons: the SVG as the scalable icon, and bitmaps rendered from it at build
# time for the sizes menus and file managers ask for.
install(FILES ${trevasto_icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
set(TREVASTO_ICON_SIZES 16 32 48 64 128 256)
if(TARGET render_icon)
  set(icon_root ${trevasto_generated_dir}/icons)
  set(icon_pngs "")
  foreach(size IN LISTS TREVASTO_ICON_SIZES)
    list(APPEND icon_pngs ${icon_root}/${size}x${size}/apps/trevasto.png)
  endforeach()
  add_custom_command(
    OUTPUT ${icon_pngs}
    COMMAND render_icon ${trevasto_icon} ${icon_root} ${TREVASTO_ICON_SIZES}
    DEPENDS render_icon ${trevasto_icon}
    COMMENT "Rendering the application icon"
    VERBATIM)
  add_custom_target(trevasto_icons ALL DEPENDS ${icon_pngs})
  foreach(size IN LISTS TREVASTO_ICON_SIZES)
    install(FILES ${icon_root}/${size}x${size}/apps/trevasto.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()

install(FILES ${trevasto_packaging_dir}/trevasto.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${trevasto_packaging_dir}/trevasto-key.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages)

# Manual pages are installed compressed, as Debian's tools expect.
find_program(TREVASTO_GZIP gzip)
set(man_page ${trevasto_packaging_dir}/trevasto.1)
if(TREVASTO_GZIP)
  set(man_page ${trevasto_generated_dir}/trevasto.1.gz)
  add_custom_command(
    OUTPUT ${man_page}
    COMMAND sh -c "\"$1\" -9 -n -c \"$2\" > \"$3\"" sh
            ${TREVASTO_GZIP} ${trevasto_packaging_dir}/trevasto.1 ${man_page}
    DEPENDS ${trevasto_packaging_dir}/trevasto.1
    COMMENT "Compressing the manual page"
    VERBATIM)
  add_custom_target(trevasto_man ALL DEPENDS ${man_page})
endif()
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The default deployment. The program looks for it in /etc/trevasto and in
# <program folder>/../etc/trevasto; GNUInstallDirs gives /etc for a /usr
# install and <prefix>/etc for any other, which are those two places.
set(TREVASTO_DEPLOYMENT_DIR ${CMAKE_INSTALL_FULL_SYSCONFDIR}/trevasto)
get_filename_component(beside_program "${CMAKE_INSTALL_FULL_BINDIR}/../etc/trevasto" ABSOLUTE)
if(NOT TREVASTO_DEPLOYMENT_DIR STREQUAL "/etc/trevasto"
   AND NOT TREVASTO_DEPLOYMENT_DIR STREQUAL beside_program)
  message(WARNING "The deployment file installs to ${TREVASTO_DEPLOYMENT_DIR}, where the "
                  "program does not look for it; users will need TREVASTO_DEPLOYMENT.")
endif()
configure_file(${trevasto_packaging_dir}/deployment.conf.in
               ${trevasto_generated_dir}/deployment.conf @ONLY)
install(FILES ${trevasto_generated_dir}/deployment.conf DESTINATION ${TREVASTO_DEPLOYMENT_DIR})
