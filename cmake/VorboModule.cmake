# vorbo_add_module(NAME SOURCES ... [MODULES ...] [LIBS ...] [DEFINES ...])
#
# Every module is a static library built twice: NAME for the ordinary
# programs and NAME_legacy, compiled against the pre-C++11 libstdc++ ABI, for
# the -legacy programs. MODULES are other vorbo modules (the matching flavour is
# linked), LIBS are outside libraries linked by both flavours.
function(vorbo_add_module name)
  cmake_parse_arguments(M "" "" "SOURCES;MODULES;LIBS;DEFINES" ${ARGN})
  foreach(flavour "" "_legacy")
    set(target ${name}${flavour})
    add_library(${target} STATIC ${M_SOURCES})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    if(M_DEFINES)
      target_compile_definitions(${target} PRIVATE ${M_DEFINES})
    endif()
    if(flavour)
      target_compile_definitions(${target} PUBLIC _GLIBCXX_USE_CXX11_ABI=0)
    endif()
    foreach(module IN LISTS M_MODULES)
      target_link_libraries(${target} PUBLIC ${module}${flavour})
    endforeach()
    if(M_LIBS)
      target_link_libraries(${target} PUBLIC ${M_LIBS})
    endif()
  endforeach()
endfunction()
