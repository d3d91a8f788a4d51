# The show's media in a cross build: the generators are host tools, so they are built by the host's
# own compiler in a build of their own (this source tree configured with VORBO_MEDIA_ONLY, no
# toolchain file) and their data/ is copied into this build's. The bytes are those of a native
# host build; the target's compiler never sees the generators.
include(ExternalProject)

set(VORBO_HOST_MEDIA_DIR ${CMAKE_BINARY_DIR}/host-media)
# The host build is checked on every build (it is incremental, and cheap when nothing changed), so
# a changed generator or mesh reaches this build's data/.
ExternalProject_Add(vorbo_host_media
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${VORBO_HOST_MEDIA_DIR}
  CMAKE_ARGS -DVORBO_MEDIA_ONLY=ON -DCMAKE_BUILD_TYPE=Release
  INSTALL_COMMAND ${CMAKE_COMMAND} -E copy_directory ${VORBO_HOST_MEDIA_DIR}/data ${VORBO_DATA_DIR}
  BUILD_ALWAYS ON)

# The targets a native build has for the media, all standing for the one host build.
add_custom_target(vorbo_data ALL)
add_dependencies(vorbo_data vorbo_host_media)
foreach(target vorbo_pictures vorbo_module vorbo_meshes)
  add_custom_target(${target})
  add_dependencies(${target} vorbo_host_media)
endforeach()
