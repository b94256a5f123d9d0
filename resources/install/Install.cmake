# Installation as a desktop program, and the Debian package (cpack -G DEB in the build folder).
# Included from the root CMakeLists.txt.
include(GNUInstallDirs)

set(QUILLPOST_APP_ID org.example.quillpost.Quillpost)
set(QUILLPOST_RELEASE_DATE 2026-12-07)
set(QUILLPOST_MAINTAINER "Quillpost developers <developers@quillpost.example.org>")
set(QUILLPOST_HOMEPAGE https://quillpost.example.org/)

# The program looks for its default sample in its own folder, so both live in a private folder
# and bin/ gets a relative link, which keeps the package relocatable.
set(QUILLPOST_PROGRAM_DIR ${CMAKE_INSTALL_LIBEXECDIR}/quillpost)
set(staging ${CMAKE_CURRENT_BINARY_DIR}/install)
# Debian's hardening: the whole offset table read-only once the libraries are bound.
target_link_options(quillpost PRIVATE LINKER:-z,relro,-z,now)
target_link_options(quillpost-sound PRIVATE LINKER:-z,relro,-z,now)
install(TARGETS quillpost quillpost-sound RUNTIME DESTINATION ${QUILLPOST_PROGRAM_DIR})
install(FILES resources/Mailtrill.wav DESTINATION ${QUILLPOST_PROGRAM_DIR})
file(RELATIVE_PATH link_target ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBEXECDIR}/quillpost/quillpost)
file(MAKE_DIRECTORY ${staging})
file(REMOVE ${staging}/quillpost)
file(CREATE_LINK ${link_target} ${staging}/quillpost SYMBOLIC)
install(FILES ${staging}/quillpost DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${CMAKE_CURRENT_LIST_DIR}/${QUILLPOST_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${CMAKE_CURRENT_LIST_DIR}/${QUILLPOST_APP_ID}.metainfo.xml.in ${staging}/${QUILLPOST_APP_ID}.metainfo.xml
               @ONLY)
install(FILES ${staging}/${QUILLPOST_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size 16 22 32 48)
    install(FILES resources/icons/quillpost-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quillpost.png)
endforeach()
install(FILES resources/icons/quillpost.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The man page and the changelog go compressed, without name or time stamp, as Debian wants them.
find_program(QUILLPOST_GZIP gzip REQUIRED)
execute_process(COMMAND date -u -R -d "${QUILLPOST_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE QUILLPOST_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/quillpost.1.in ${staging}/quillpost.1 @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${staging}/changelog @ONLY)
set(compressed)
foreach(name quillpost.1 changelog)
    add_custom_command(OUTPUT ${staging}/${name}.gz
                       COMMAND ${QUILLPOST_GZIP} -9nkf ${name}
                       DEPENDS ${staging}/${name}
                       WORKING_DIRECTORY ${staging}
                       VERBATIM)
    list(APPEND compressed ${staging}/${name}.gz)
endforeach()
add_custom_target(quillpost_compressed_docs ALL DEPENDS ${compressed})
install(FILES ${staging}/quillpost.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${staging}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/copyright
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quillpost)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillpost)
set(CPACK_PACKAGE_VENDOR "Quillpost developers")
set(CPACK_PACKAGE_CONTACT ${QUILLPOST_MAINTAINER})
set(CPACK_PACKAGE_HOMEPAGE_URL ${QUILLPOST_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY ${PROJECT_DESCRIPTION})
set(CPACK_PACKAGE_DESCRIPTION "Quillpost sits in the notification area and checks one POP3 mailbox at a set
interval or on request. Its icon and tool tip show how many messages wait and
how large they are; it never downloads or deletes mail. Mail waiting can
trigger a beep, a sound sample and a command line.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps finds the linked libraries, libqt6multimedia6 with its media backends among them;
# the platform plugins Qt loads at run time and the font the window is drawn with are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# QtKeychain reaches the Secret Service through libsecret, which it loads at run time; the program
# loads GIO (in libglib2.0-0) at run time for its network monitor.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation, libsecret-1-0, libglib2.0-0")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-wayland)
# Only GNOME lacks a tray host. A Recommends would pull in GNOME Shell itself on any system
# without it, so the extension is only suggested.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS gnome-shell-extension-appindicator)
include(CPack)
