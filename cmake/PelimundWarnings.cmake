# Warning flags for the project's own targets (not for third-party code).
function(pelimund_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# pelimund_library(NAME DIR [QT]): a static library of every .cpp/.h in DIR.
# Sources are globbed so that adding a class never touches this file.
function(pelimund_library name dir)
    file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.h)
    add_library(${name} STATIC ${sources})
    pelimund_warnings(${name})
    # In an existing build folder the moc step reruns only when a header it
    # saw last time changes, so a new header's class would lack its meta
    # object. A changed list of headers removes the step's stamp, which
    # makes it run again.
    list(FILTER sources INCLUDE REGEX "\\.h$")
    if(NOT "${sources}" STREQUAL "${PELIMUND_HEADERS_${name}}")
        file(REMOVE ${CMAKE_CURRENT_BINARY_DIR}/${name}_autogen/timestamp)
        set(PELIMUND_HEADERS_${name} "${sources}" CACHE INTERNAL "")
    endif()
endfunction()
