# What `cmake --install` puts where, and the Debian package CPack makes of it
# (`scripts/package`). Everything the installed programs need at run time is built
# into them; nothing here points back at the source or build tree.
include(GNUInstallDirs)

set(TAVEX_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(TAVEX_MAINTAINER "tavex2epwing maintainers <maintainers@users.noreply.c-seed-3c49302b.example>")

# Manual pages and the changelog carry the version and are installed compressed, as
# Debian's tools expect them; gzip -n keeps the package the same from build to build.
set(compressed "")
function(tavex_compressed source name)
  configure_file(${source} ${PROJECT_BINARY_DIR}/packaging/${name} @ONLY)
  add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/packaging/${name}.gz
                     COMMAND gzip -9nf -k ${name}
                     DEPENDS ${PROJECT_BINARY_DIR}/packaging/${name}
                     WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/packaging)
  set(compressed ${compressed} ${PROJECT_BINARY_DIR}/packaging/${name}.gz PARENT_SCOPE)
endfunction()

tavex_compressed(${TAVEX_PACKAGING_DIR}/tavex2epwing.1 tavex2epwing.1)
tavex_compressed(${TAVEX_PACKAGING_DIR}/changelog.in changelog)
if(TAVEX_BUILD_GUI)
  tavex_compressed(${TAVEX_PACKAGING_DIR}/tavex2epwing-gui.1 tavex2epwing-gui.1)
endif()
add_custom_target(tavex_packaging_files ALL DEPENDS ${compressed})

# Symbols bound at start and the relocation table read-only, as Debian builds programs.
target_link_options(tavex2epwing PRIVATE -Wl,-z,relro,-z,now)
install(TARGETS tavex2epwing RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_BINARY_DIR}/packaging/tavex2epwing.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${TAVEX_PACKAGING_DIR}/tavex2epwing.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tavex2epwing)
if(TAVEX_BUILD_GUI)
  target_link_options(tavex2epwing-gui PRIVATE -Wl,-z,relro,-z,now)
  install(TARGETS tavex2epwing-gui RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_BINARY_DIR}/packaging/tavex2epwing-gui.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${TAVEX_PACKAGING_DIR}/tavex2epwing-gui.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${TAVEX_PACKAGING_DIR}/tavex2epwing.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  install(FILES ${PROJECT_SOURCE_DIR}/share/metainfo/tavex2epwing-gui.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${TAVEX_PACKAGING_DIR}/copyright
              ${PROJECT_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs FILES_MATCHING PATTERN "*.png")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavex2epwing)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${TAVEX_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert the TAVEX dictionary disc into an EPWING book")
file(READ ${TAVEX_PACKAGING_DIR}/description.txt CPACK_DEBIAN_PACKAGE_DESCRIPTION)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's Japanese texts need a Japanese font; the completion needs bash-completion;
# the readers open the book.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-ipafont-gothic | fonts-noto-cjk, bash-completion")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "goldendict, eblook, eb-utils")
include(CPack)
