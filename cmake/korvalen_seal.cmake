# The digest of a program's image and the layout of its seal: linked by the
# program, which checks itself, and by the tool that seals it.
include(${CMAKE_CURRENT_LIST_DIR}/korvalen_warnings.cmake)
get_filename_component(KORVALEN_SEAL_SOURCES ${CMAKE_CURRENT_LIST_DIR}/../src/seal ABSOLUTE)
add_library(korvalen_seal STATIC
  ${KORVALEN_SEAL_SOURCES}/image_digest.cpp
  ${KORVALEN_SEAL_SOURCES}/program_seal.cpp)
target_link_libraries(korvalen_seal PRIVATE korvalen_warnings)
