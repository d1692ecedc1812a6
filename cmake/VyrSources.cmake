# The build picks each folder's platform files by their name, so their bodies
# need no #ifdef: *_posix.cpp, *_x11.cpp, *_wayland.cpp, *_sdl.cpp, *_glx.cpp and
# *_egl.cpp go into the Linux build, *_win32.cpp and *_wgl.cpp into the Windows
# build, every other .cpp into both.
function(vyr_platform_sources out_var dir)
  file(GLOB all CONFIGURE_DEPENDS "${dir}/*.cpp")
  set(picked "")
  foreach(f ${all})
    get_filename_component(n "${f}" NAME_WE)
    if(n MATCHES "_(posix|x11|wayland|sdl|glx|egl)$")
      if(NOT WIN32)
        list(APPEND picked "${f}")
      endif()
    elseif(n MATCHES "_(win32|wgl)$")
      if(WIN32)
        list(APPEND picked "${f}")
      endif()
    else()
      list(APPEND picked "${f}")
    endif()
  endforeach()
  set(${out_var} "${picked}" PARENT_SCOPE)
endfunction()

# Tools that run during the build (the asset packer, the soundtrack generator)
# are host programs: a cross build takes them from a native build.
set(VYR_HOST_TOOLS_DIR "" CACHE PATH "bin/ of a native build that holds the build-time tools (cross builds)")
# vyr_host_tool(<var> <target>): the command that runs a build-time tool.
function(vyr_host_tool var target)
  if(CMAKE_CROSSCOMPILING)
    if(NOT VYR_HOST_TOOLS_DIR)
      message(FATAL_ERROR "A cross build needs VYR_HOST_TOOLS_DIR (bin/ of a native build) for ${target}")
    endif()
    set(${var} ${VYR_HOST_TOOLS_DIR}/${target} PARENT_SCOPE)
  else()
    set(${var} $<TARGET_FILE:${target}> PARENT_SCOPE)
  endif()
endfunction()
