# vorbo_add_module(NAME SOURCES ... [MODULES ...] [LIBS ...] [DEFINES ...])
#
# Every module is a static library built twice: NAME for the ordinary
# programs and NAME_legacy, compiled against the pre-C++11 libstdc++ ABI, for
# the -legacy programs. MODULES are other vorbo modules (the matching flavour is
# linked), LIBS are outside libraries linked by both flavours, DEFINES are
# compile definitions of the module's own sources.
function(vorbo_add_module name)
  cmake_parse_arguments(M "" "" "SOURCES;MODULES;LIBS;DEFINES" ${ARGN})
  foreach(flavour "" "_legacy")
    set(target ${name}${flavour})
    add_library(${target} STATIC ${M_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_compile_definitions(${target} PRIVATE ${M_DEFINES})
    if(flavour)
      target_compile_definitions(${target} PUBLIC _GLIBCXX_USE_CXX11_ABI=0)
    endif()
    foreach(module IN LISTS M_MODULES)
      target_link_libraries(${target} PUBLIC ${module}${flavour})
    endforeach()
    target_link_libraries(${target} PUBLIC ${M_LIBS})
  endforeach()
endfunction()

# The definition the modules with vector code pass in DEFINES.
set(VORBO_SIMD_DEFINES $<$<BOOL:${VORBO_SIMD}>:VORBO_SIMD=1>)

# vorbo_add_program(NAME BACKEND <module> [SCENES <module>] [LEGACY] [ENTRY <source>]
#                   [MODULES ...] [SOURCES ...])
#
# One of the show's programs: the program entry, the frame step and script,
# the scenes it plays (demo_show_scenes unless SCENES names another), the
# graphics set-up, the presenter back-end and the sound library. LEGACY links
# every module's pre-C++11-ABI flavour. ENTRY is a program entry of the
# program's own in place of demo/main.cpp, MODULES more modules it links.
# SOURCES are extra sources (a test's stand-ins). The program entry supplies the quit hook that the back-end
# calls, so every library here needs only libraries that come after it.
function(vorbo_add_program name)
  cmake_parse_arguments(P "LEGACY" "BACKEND;SCENES;ENTRY" "SOURCES;MODULES" ${ARGN})
  if(NOT P_ENTRY)
    set(P_ENTRY demo/main.cpp)
  endif()
  if(NOT P_SCENES)
    set(P_SCENES demo_show_scenes)
  endif()
  set(flavour "")
  if(P_LEGACY)
    set(flavour "_legacy")
  endif()
  add_executable(${name} ${PROJECT_SOURCE_DIR}/${P_ENTRY} ${P_SOURCES})
  foreach(module IN LISTS P_MODULES)
    target_link_libraries(${name} PRIVATE ${module}${flavour})
  endforeach()
  target_link_libraries(${name} PRIVATE demo_timeline${flavour} ${P_SCENES}${flavour}
    demo_driver${flavour} ${P_BACKEND}${flavour} sound${flavour})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  add_dependencies(${name} vorbo_data)
endfunction()
