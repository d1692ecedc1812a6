# Third-party libraries. Linux takes them from Debian's packages; the Windows
# build compiles GLEW from Debian's glew source package (GLEW_SOURCE_DIR).
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/GlewFromSource.cmake)
else()
  set(OpenGL_GL_PREFERENCE LEGACY)
  find_package(OpenGL REQUIRED COMPONENTS OpenGL GLX)
  find_package(GLEW REQUIRED)
  find_package(X11 REQUIRED)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
  pkg_check_modules(FREETYPE REQUIRED IMPORTED_TARGET freetype2)
  pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)
  find_package(Threads REQUIRED)
endif()

# Header-only parts that are the same for every target: the Windows build
# reads Debian's own headers too, from a folder of links of their own rather
# than all of /usr/include.
function(vyr_debian_headers target folder)
  set(dir ${CMAKE_BINARY_DIR}/debian-headers/${target})
  file(MAKE_DIRECTORY ${dir})
  foreach(sub ${folder} ${ARGN})
    if(NOT EXISTS /usr/include/${sub})
      message(FATAL_ERROR "${target} needs /usr/include/${sub} (tools/packages.txt installs it)")
    endif()
    file(CREATE_LINK /usr/include/${sub} ${dir}/${sub} SYMBOLIC)
  endforeach()
  target_include_directories(${target} SYSTEM INTERFACE ${dir})
endfunction()

# The results file is JSON through nlohmann-json.
add_library(vyr_json INTERFACE)
# Vulkan: Linux links Debian's loader; the Windows build loads vulkan-1.dll at
# run time and needs only the API's headers.
add_library(vyr_vulkan_headers INTERFACE)
if(WIN32)
  vyr_debian_headers(vyr_json nlohmann)
  vyr_debian_headers(vyr_vulkan_headers vulkan vk_video)
else()
  find_package(nlohmann_json 3 REQUIRED)
  target_link_libraries(vyr_json INTERFACE nlohmann_json::nlohmann_json)
  find_package(Vulkan REQUIRED)
  target_link_libraries(vyr_vulkan_headers INTERFACE Vulkan::Headers)
endif()
