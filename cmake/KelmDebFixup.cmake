# Run by CPack once it has made the Debian packages (CPACK_POST_BUILD_SCRIPTS),
# to set right what its DEB generator does not do the Debian way:
# - Installed-Size: CPack follows the library's SONAME link and counts the
#   library twice; here each file counts in whole KiB, each directory and
#   link as 1 KiB, as dpkg counts them;
# - md5sums: CPack's -dbgsym package lists its file under the build tree;
# - ldconfig: CPack's maintainer scripts call it; Debian packages activate
#   dpkg's ldconfig trigger instead;
# - the -dbgsym package's documentation is its library package's (a link to
#   that folder, which its dependency guarantees).
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "/([^/_]+)_[^/]*\\.d?deb$")
    continue()
  endif()
  set(name ${CMAKE_MATCH_1})
  set(tree ${package}.tree)
  set(control ${tree}/DEBIAN)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)

  if(name MATCHES "^(.+)-dbgsym$")
    file(MAKE_DIRECTORY ${tree}/usr/share/doc)
    file(CREATE_LINK ${CMAKE_MATCH_1} ${tree}/usr/share/doc/${name} SYMBOLIC)
  endif()
  if(EXISTS ${control}/postinst)
    file(READ ${control}/postinst script)
    if(script MATCHES "\tldconfig\n")
      file(REMOVE ${control}/postinst ${control}/postrm)
      file(WRITE ${control}/triggers "activate-noawait ldconfig\n")
    endif()
  endif()

  file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE ${tree} ${tree}/*)
  list(SORT entries)
  set(kib 0)
  set(sums "")
  foreach(entry IN LISTS entries)
    if(entry MATCHES "^DEBIAN(/|$)")
      continue()
    elseif(IS_SYMLINK ${tree}/${entry} OR IS_DIRECTORY ${tree}/${entry})
      math(EXPR kib "${kib} + 1")
    else()
      file(SIZE ${tree}/${entry} bytes)
      math(EXPR kib "${kib} + (${bytes} + 1023) / 1024")
      file(MD5 ${tree}/${entry} sum)
      string(APPEND sums "${sum}  ${entry}\n")
    endif()
  endforeach()
  file(WRITE ${control}/md5sums "${sums}")
  file(READ ${control}/control fields)
  string(REGEX REPLACE "\nInstalled-Size: [0-9]+\n" "\nInstalled-Size: ${kib}\n" fields "${fields}")
  file(WRITE ${control}/control "${fields}")
  execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${package} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
