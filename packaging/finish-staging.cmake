# CPack pre-build step on the staging tree, doing what Debian's own tools
# would: gzip man pages and the changelog (without a timestamp, so rebuilt
# packages stay identical) and drop the sections that plain strip keeps.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")

set(docs "${staged}")
list(FILTER docs INCLUDE REGEX "/share/(man/man[1-9]/[^/]+\\.[1-9]|doc/[^/]+/changelog)$")
foreach(doc IN LISTS docs)
  execute_process(COMMAND gzip -9nf "${doc}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${doc} failed")
  endif()
endforeach()

set(programs "${staged}")
list(FILTER programs INCLUDE REGEX "/bin/[^/]+$")
foreach(program IN LISTS programs)
  execute_process(
    COMMAND "${CPACK_VORBEK_STRIP}" --remove-section=.comment --remove-section=.note "${program}"
    RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip ${program} failed")
  endif()
endforeach()
