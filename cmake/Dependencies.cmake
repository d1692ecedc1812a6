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

# The results file is JSON through nlohmann-json. It is header-only and the same
# for every target, so the Windows build reads Debian's headers as well, from a
# folder of their own rather than all of /usr/include.
add_library(vyr_json INTERFACE)
if(WIN32)
  find_path(VYR_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(vyr_json_dir ${CMAKE_BINARY_DIR}/json-include)
  file(MAKE_DIRECTORY ${vyr_json_dir})
  file(CREATE_LINK ${VYR_JSON_INCLUDE}/nlohmann ${vyr_json_dir}/nlohmann SYMBOLIC)
  target_include_directories(vyr_json SYSTEM INTERFACE ${vyr_json_dir})
else()
  find_package(nlohmann_json 3 REQUIRED)
  target_link_libraries(vyr_json INTERFACE nlohmann_json::nlohmann_json)
endif()

# Vulkan: Linux links Debian's loader; the Windows build loads vulkan-1.dll at
# run time and needs only the API's headers, which are the same for every
# target: Debian's, from a folder of their own as for JSON.
add_library(vyr_vulkan_headers INTERFACE)
if(WIN32)
  find_path(VYR_VULKAN_INCLUDE vulkan/vulkan.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  set(vyr_vulkan_dir ${CMAKE_BINARY_DIR}/vulkan-include)
  file(MAKE_DIRECTORY ${vyr_vulkan_dir})
  file(CREATE_LINK ${VYR_VULKAN_INCLUDE}/vulkan ${vyr_vulkan_dir}/vulkan SYMBOLIC)
  file(CREATE_LINK ${VYR_VULKAN_INCLUDE}/vk_video ${vyr_vulkan_dir}/vk_video SYMBOLIC)
  target_include_directories(vyr_vulkan_headers SYSTEM INTERFACE ${vyr_vulkan_dir})
else()
  find_package(Vulkan REQUIRED)
  target_link_libraries(vyr_vulkan_headers INTERFACE Vulkan::Headers)
endif()
