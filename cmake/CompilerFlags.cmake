# Warnings and sanitizers for every target of the project.

# The warnings go through an interface target that every target of the project links (see
# ticketflash_link_warnings below), not through global flags: GoogleTest, built from source for
# the Windows program's tests, stays out of them.
add_library(ticketflash_warnings INTERFACE)
target_compile_options(ticketflash_warnings INTERFACE
    $<$<COMPILE_LANGUAGE:C,CXX>:-Wall -Wextra -Wformat=2 -Wshadow>
    $<$<AND:$<BOOL:${TICKETFLASH_WERROR}>,$<COMPILE_LANGUAGE:C,CXX>>:-Werror>)

# Links ticketflash_warnings into every target made under the project's own folders. Called
# once at the end of the top-level CMakeLists.txt, when every folder has made its targets, so a
# new target gets the warnings without a line of its own.
function(ticketflash_link_warnings)
    set(folders ${PROJECT_SOURCE_DIR})
    while(folders)
        list(POP_FRONT folders folder)
        get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
        foreach(target IN LISTS targets)
            get_target_property(type ${target} TYPE)
            if(NOT type STREQUAL "INTERFACE_LIBRARY" AND NOT type STREQUAL "UTILITY")
                target_link_libraries(${target} PRIVATE ticketflash_warnings)
            endif()
        endforeach()
        get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
        foreach(subfolder IN LISTS subfolders)
            # Folders outside the project (GoogleTest's sources) keep their own flags.
            cmake_path(IS_PREFIX PROJECT_SOURCE_DIR ${subfolder} inside)
            if(inside)
                list(APPEND folders ${subfolder})
            endif()
        endforeach()
    endwhile()
endfunction()

if(TICKETFLASH_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

if(TICKETFLASH_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

if(TICKETFLASH_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(WIN32)
    # One self-contained program: no MinGW runtime DLLs beside the .exe.
    add_link_options(-static -static-libgcc -static-libstdc++)
endif()
