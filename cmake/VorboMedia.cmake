# The names of the show's media files, read from the one list the programs compile (demo/media.h):
#
#   VORBO_SOUNDTRACK_FILE  the module's name under data/ (test.xm)
#   VORBO_PICTURE_FILES    the pictures' names under data/ (silence.tga ...)
#   VORBO_MESH_FILES       the meshes' names under data/ (cube.obj f16.obj)
#
# The generators and assets/ make exactly these, and a change to the list reconfigures the build.
set(media_list ${PROJECT_SOURCE_DIR}/demo/media.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${media_list})
file(STRINGS ${media_list} media_lines REGEX "\"(data/)?[a-z0-9]+\\.(xm|tga|obj)\"")
string(REGEX MATCHALL "[a-z0-9]+\\.xm" VORBO_SOUNDTRACK_FILE "${media_lines}")
string(REGEX MATCHALL "[a-z0-9]+\\.tga" VORBO_PICTURE_FILES "${media_lines}")
string(REGEX MATCHALL "[a-z0-9]+\\.obj" VORBO_MESH_FILES "${media_lines}")
list(LENGTH VORBO_SOUNDTRACK_FILE soundtracks)
if(NOT soundtracks EQUAL 1 OR NOT VORBO_PICTURE_FILES OR NOT VORBO_MESH_FILES)
  message(FATAL_ERROR "demo/media.h names no soundtrack, pictures or meshes the build can read")
endif()
