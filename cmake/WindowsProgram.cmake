# What makes a Windows program of the project a proper one on a workstation: its manifest (the
# execution level it asks for, the Windows versions it knows, DPI awareness, common controls 6)
# and its version information, both from the project's version, compiled into the program.
#
#   ticketflash_windows_program(TARGET FILE NAME DESCRIPTION EXECUTION_LEVEL [ICON PATH])

# The company of the version information: the distributor's, as the build sets it.
set(TICKETFLASH_COMPANY "The ticketflash developers" CACHE STRING
    "CompanyName of the Windows programs' version information")

set(TICKETFLASH_FILE_VERSION
    "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")

function(ticketflash_windows_program target)
    cmake_parse_arguments(PARSE_ARGV 1 program "" "FILE;NAME;DESCRIPTION;EXECUTION_LEVEL;ICON" "")
    set(TICKETFLASH_PROGRAM_FILE ${program_FILE})
    set(TICKETFLASH_PROGRAM_NAME ${program_NAME})
    set(TICKETFLASH_PROGRAM_DESCRIPTION ${program_DESCRIPTION})
    set(TICKETFLASH_EXECUTION_LEVEL ${program_EXECUTION_LEVEL})
    set(TICKETFLASH_PROGRAM_ICON "")
    if(program_ICON)
        set(TICKETFLASH_PROGRAM_ICON "1 ICON \"${program_ICON}\"")
    endif()
    set(folder ${PROJECT_SOURCE_DIR}/resources/windows)
    set(TICKETFLASH_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${program_FILE}.manifest)
    configure_file(${folder}/program.manifest.in ${TICKETFLASH_MANIFEST} @ONLY)
    set(script ${CMAKE_CURRENT_BINARY_DIR}/${program_NAME}_program.rc)
    configure_file(${folder}/program.rc.in ${script} @ONLY)
    set_property(SOURCE ${script} APPEND PROPERTY OBJECT_DEPENDS ${TICKETFLASH_MANIFEST}
                 ${program_ICON})
    target_sources(${target} PRIVATE ${script})
    # Release programs carry no symbols: what a workstation receives is the program alone.
    target_link_options(${target} PRIVATE $<$<CONFIG:Release,MinSizeRel>:-s>)
endfunction()
