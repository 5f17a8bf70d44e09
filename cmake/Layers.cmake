# ticketflash_layer(NAME [LINKS lower targets...]): the static library of one folder, built from
# every .cpp in it, linking only the layers named (all of them below it).
function(ticketflash_layer name)
    cmake_parse_arguments(PARSE_ARGV 1 layer "" "" "LINKS")
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    add_library(ticketflash_${name} STATIC ${sources})
    target_include_directories(ticketflash_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(ticketflash_${name} PUBLIC ${layer_LINKS})
endfunction()
