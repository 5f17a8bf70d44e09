# Warnings and sanitizers for every target of the project.
add_compile_options(-Wall -Wextra)
if(TICKETFLASH_WERROR)
    add_compile_options(-Werror)
endif()

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
