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
endfunction()
