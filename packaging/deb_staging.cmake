# Run by cpack on the staged files before it packs them: what a Debian
# package holds beyond what the install puts in place.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(staged ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${staged}/share/doc/${CPACK_PACKAGE_NAME})

# Copies a file into a folder under the staged prefix, each folder 0755
# and the file 0644 whatever the umask of whoever packs.
function(stage file folder)
  set(path ${staged})
  string(REPLACE "/" ";" names ${folder})
  foreach(name ${names})
    set(path ${path}/${name})
    file(MAKE_DIRECTORY ${path})
    file(CHMOD ${path} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
      GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  file(COPY ${file} DESTINATION ${path}
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endfunction()

set(changelog ${CMAKE_CURRENT_LIST_DIR}/changelog)
file(STRINGS ${changelog} newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^korvalen \\(${CPACK_PACKAGE_VERSION}\\) ")
  message(FATAL_ERROR "${changelog} does not begin with version ${CPACK_PACKAGE_VERSION}: "
    "add its entry first.")
endif()
stage(${changelog} share/doc/${CPACK_PACKAGE_NAME})

# Manual pages and the changelog are compressed, without a time stamp in
# the gzip header, so that the same tree packs to the same bytes.
file(GLOB_RECURSE manual_pages ${staged}/share/man/*.[1-9])
foreach(path ${manual_pages} ${doc}/changelog)
  execute_process(COMMAND gzip -9nf ${path} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress ${path}")
  endif()
endforeach()

# Stripped as Debian strips its programs, which the self-check allows for.
execute_process(COMMAND strip --remove-section=.comment --remove-section=.note
  ${staged}/bin/korvalen RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "strip could not strip ${staged}/bin/korvalen")
endif()

# The program's own texts keep their spellings: scripts match them.
stage(${CMAKE_CURRENT_LIST_DIR}/lintian-overrides/korvalen share/lintian/overrides)
