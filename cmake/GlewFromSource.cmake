# GLEW for the Windows build, compiled from the unpacked glew source package.
# .ci/run fetches it with `apt-get source glew`; pass its folder as GLEW_SOURCE_DIR.
set(GLEW_SOURCE_DIR "" CACHE PATH "Unpacked glew source package (holds src/glew.c)")
if(NOT EXISTS "${GLEW_SOURCE_DIR}/src/glew.c")
  message(FATAL_ERROR "GLEW_SOURCE_DIR must name the unpacked glew source package (src/glew.c not found in '${GLEW_SOURCE_DIR}')")
endif()
add_library(glew_static STATIC ${GLEW_SOURCE_DIR}/src/glew.c)
target_include_directories(glew_static PUBLIC ${GLEW_SOURCE_DIR}/include)
target_compile_definitions(glew_static PUBLIC GLEW_STATIC PRIVATE GLEW_NO_GLU)
target_compile_options(glew_static PRIVATE -w)
target_link_libraries(glew_static PUBLIC opengl32)
add_library(GLEW::GLEW ALIAS glew_static)
