# Installation of the Linux programs and their manual pages, and the Debian package
# (`cpack -G DEB` in the build folder).
include(GNUInstallDirs)

install(TARGETS ticketflash printer-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The manual pages are installed compressed, as Debian keeps them.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(manual_pages ticketflash.1 printer-sim.1)
set(compressed_pages)
foreach(page IN LISTS manual_pages)
    set(source ${PROJECT_SOURCE_DIR}/docs/man/${page})
    set(compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
        COMMAND ${GZIP_PROGRAM} -9 -n -c ${source} > ${compressed}
        DEPENDS ${source}
        COMMENT "Compressing the manual page ${page}")
    list(APPEND compressed_pages ${compressed})
endforeach()
add_custom_target(manual_pages ALL DEPENDS ${compressed_pages})
# Installing after building only the programs (as scripts/demo does) finds the pages too.
add_dependencies(ticketflash manual_pages)
install(FILES ${compressed_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_PACKAGE_NAME ticketflash)
set(CPACK_PACKAGE_VENDOR "The ticketflash developers")
set(CPACK_PACKAGE_CONTACT "The ticketflash developers <ticketflash@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "firmware upgrade tool for thermal ticket printers")
set(CPACK_PACKAGE_DESCRIPTION
    "ticketflash reads a thermal ticket printer's IEEE 1284 device id over USB, a parallel port "
    "or TCP, picks the firmware image built into it for the printer's logic board and command "
    "language, puts the printer into flash mode, writes the image and reads back the new "
    "version, keeping the CUPS queues off the printer meanwhile.\n"
    "printer-sim serves a simulated printer on 127.0.0.1 to try the tool without hardware.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${CPACK_PACKAGE_CONTACT})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps works out the library packages (the C and C++ runtimes) from the programs
# themselves; libcups2 is named, since the spooler loads it only when it first asks the server.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS libcups2)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR DEB)
include(CPack)
