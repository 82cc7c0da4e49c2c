# Install rules and the Debian package (CPack). Included last by the top CMakeLists, so every
# program target already exists; each part is guarded so that a tree without it still builds.
include(GNUInstallDirs)

set(TLVCLI_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/tlvcli)
set(TLVCLI_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR}/../packaging)
cmake_path(NORMAL_PATH TLVCLI_PACKAGING_DIR)

# Programs.
foreach(program tlvcli tlvreg tlvsim tlvcli-guard)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

# Language packs, default documents and icons: the client finds them in ../share/tlvcli
# beside its binary.
foreach(folder lang docs icons)
    if(EXISTS ${CMAKE_SOURCE_DIR}/data/${folder})
        install(DIRECTORY ${CMAKE_SOURCE_DIR}/data/${folder} DESTINATION ${TLVCLI_SHARE_DIR}
            PATTERN "README.md" EXCLUDE
            PATTERN "*.sh" EXCLUDE
            PATTERN "*.cmake" EXCLUDE
            PATTERN "CMakeLists.txt" EXCLUDE)
    endif()
endforeach()

# The application icon in the desktop's icon theme, for the menu entry.
if(EXISTS ${CMAKE_SOURCE_DIR}/data/icons/tlvcli.svg)
    install(FILES ${CMAKE_SOURCE_DIR}/data/icons/tlvcli.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()
file(GLOB tlv_icon_sizes LIST_DIRECTORIES true RELATIVE ${CMAKE_SOURCE_DIR}/data/icons
    ${CMAKE_SOURCE_DIR}/data/icons/*x*)
foreach(size IN LISTS tlv_icon_sizes)
    if(size MATCHES "^[0-9]+x[0-9]+$" AND EXISTS ${CMAKE_SOURCE_DIR}/data/icons/${size}/tlvcli.png)
        install(FILES ${CMAKE_SOURCE_DIR}/data/icons/${size}/tlvcli.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}/apps)
    endif()
endforeach()

# What a café enables by copying into /etc (docs/install.md): the X server's terminal switch and
# zap keys off, SysRq limited. Shipped as files to copy, not into /etc: installing the package to
# try it, on a staff or build PC, must not change how that machine's keyboard and kernel behave.
install(FILES ${TLVCLI_PACKAGING_DIR}/lockdown/50-tlvcli-lockdown.conf
    DESTINATION ${TLVCLI_SHARE_DIR}/lockdown/xorg.conf.d)
install(FILES ${TLVCLI_PACKAGING_DIR}/lockdown/90-tlvcli-sysrq.conf
    DESTINATION ${TLVCLI_SHARE_DIR}/lockdown/sysctl.d)

# Menu entry, and the autostart entry as a template: start at logon is chosen per user (the
# options dialog writes ~/.config/autostart/tlvcli.desktop), never for every account at once.
install(FILES ${TLVCLI_PACKAGING_DIR}/tlvcli.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(CODE "
    set(tlv_exe \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tlvcli\")
    set(tlv_dest \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TLVCLI_SHARE_DIR}/autostart\")
    file(READ \"${TLVCLI_PACKAGING_DIR}/tlvcli-autostart.desktop.in\" tlv_entry)
    string(REPLACE \"@TLVCLI_INSTALLED_EXE@\" \"\${tlv_exe}\" tlv_entry \"\${tlv_entry}\")
    file(MAKE_DIRECTORY \"\${tlv_dest}\")
    message(STATUS \"Installing: \${tlv_dest}/tlvcli.desktop\")
    file(WRITE \"\${tlv_dest}/tlvcli.desktop\" \"\${tlv_entry}\")
")

# The session guard's system service, enabled by postinst.
if(TARGET tlvcli-guard)
    install(FILES ${TLVCLI_PACKAGING_DIR}/tlvcli-guard.service DESTINATION lib/systemd/system)
endif()

# Man pages, compressed as Debian installs them.
find_program(TLV_GZIP gzip)
set(tlv_man_targets)
foreach(page tlvcli.1 tlvreg.1 tlvsim.1 tlvcli-guard.8)
    string(REGEX REPLACE ".*\\." "" section ${page})
    configure_file(${TLVCLI_PACKAGING_DIR}/man/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
    set(output ${CMAKE_BINARY_DIR}/man/${page})
    if(TLV_GZIP)
        add_custom_command(OUTPUT ${output}.gz
            COMMAND ${TLV_GZIP} -9nf -k ${page}
            DEPENDS ${output}
            WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/man
            VERBATIM)
        set(output ${output}.gz)
    endif()
    list(APPEND tlv_man_targets ${output})
    install(FILES ${output} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endforeach()
add_custom_target(tlv_man_pages ALL DEPENDS ${tlv_man_targets})

foreach(doc README.md docs/install.md)
    if(EXISTS ${CMAKE_SOURCE_DIR}/${doc})
        install(FILES ${CMAKE_SOURCE_DIR}/${doc} DESTINATION ${CMAKE_INSTALL_DOCDIR})
    endif()
endforeach()

# The Debian package. The machine root /var/lib/talvor-client and the group tlvcli are made
# by the maintainer scripts, not shipped as files, so that a reinstall keeps the settings.
set(TLVCLI_PACKAGE_MAINTAINER "Talvor Client maintainers <maintainers@talvor-client.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_SOURCE_GENERATOR "")
set(CPACK_PACKAGE_NAME tlvcli)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Talvor Client")
set(CPACK_PACKAGE_CONTACT ${TLVCLI_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "internet-cafe workstation client")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Lock screen, timed and billed sessions and a link to the cafe's server for
every customer PC of an internet cafe. While no session is open the client
covers the screen and locks the desktop down; a customer opens a session with
a prepaid card, a client account or self-service, and the client times it,
shows the balance and obeys the server's commands.
.
Contains the client tlvcli, the session guard tlvcli-guard (a system service
that keeps one client running in every session of a cafe user), the settings
tool tlvreg and the server simulator tlvsim for trying a workstation without a
server.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# groupadd and groupdel for the maintainer scripts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd")
# The sqlite3 shell for looking into a hive; setfacl keeps the shared folder group-writable.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "sqlite3, acl")
find_program(TLV_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TLV_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${TLVCLI_PACKAGING_DIR}/debian/postinst
    ${TLVCLI_PACKAGING_DIR}/debian/prerm
    ${TLVCLI_PACKAGING_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
