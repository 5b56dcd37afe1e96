# What the Debian packages in ${WORK_DIR}/debs hold, as a Debian user
# expects it (included by CheckInstalledConsumer.cmake and by the packaging
# tests; `debs' lists the packages to check): the runtime package's library
# in the multiarch directory LIBDIR; every program and shared object of a
# package stripped, its debug information in that package's -dbgsym package
# under the file's build id; each package's copyright and changelog (of this
# version); an Installed-Size that is what the files take.
file(GLOB dbgsym ${WORK_DIR}/debs/*-dbgsym_*.ddeb)
if(NOT dbgsym)
  message(FATAL_ERROR "no -dbgsym package in ${WORK_DIR}/debs")
endif()

function(deb_field deb field out)
  execute_process(COMMAND dpkg-deb -f ${deb} ${field} OUTPUT_VARIABLE value OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

function(elf_notes file out)
  execute_process(COMMAND readelf -S -n ${file} OUTPUT_VARIABLE value COMMAND_ERROR_IS_FATAL ANY)
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# debug files that the checked packages' programs and libraries point to,
# as "<package>-dbgsym:<path in it>"
set(debug_files "")
foreach(deb IN LISTS debs dbgsym)
  deb_field(${deb} Package package)
  deb_field(${deb} Version version)
  deb_field(${deb} Installed-Size installed)
  set(root ${WORK_DIR}/contents/${package})
  file(MAKE_DIRECTORY ${root})
  execute_process(COMMAND dpkg -x ${deb} ${root} COMMAND_ERROR_IS_FATAL ANY)

  # Between the files' bytes in KiB and that plus one KiB per entry (dpkg
  # rounds each file up, and counts directories and links).
  file(GLOB_RECURSE entries LIST_DIRECTORIES true ${root}/*)
  list(LENGTH entries count)
  set(bytes_total 0)
  foreach(entry IN LISTS entries)
    if(NOT IS_SYMLINK ${entry} AND NOT IS_DIRECTORY ${entry})
      file(SIZE ${entry} bytes)
      math(EXPR bytes_total "${bytes_total} + ${bytes}")
    endif()
  endforeach()
  math(EXPR least "(${bytes_total} + 1023) / 1024")
  math(EXPR most "${least} + ${count}")
  message(STATUS "${package}: Installed-Size ${installed} KiB for ${bytes_total} bytes in ${count} entries")
  if(installed LESS least OR installed GREATER most)
    message(FATAL_ERROR "${package}: Installed-Size ${installed} KiB, but its files take ${bytes_total} bytes")
  endif()

  if(package MATCHES "-dbgsym$")
    continue()
  endif()
  set(doc ${root}/usr/share/doc/${package})
  if(NOT EXISTS ${doc}/copyright OR NOT EXISTS ${doc}/changelog.gz)
    message(FATAL_ERROR "${package} has no ${doc}/copyright or changelog.gz")
  endif()
  execute_process(COMMAND gzip -dc ${doc}/changelog.gz OUTPUT_VARIABLE changelog COMMAND_ERROR_IS_FATAL ANY)
  string(REPLACE "." "\\." version_pattern "${version}")
  if(NOT changelog MATCHES "^[a-z0-9.+-]+ \\(${version_pattern}\\) ")
    message(FATAL_ERROR "${package}: the changelog does not start with version ${version}")
  endif()

  if(package MATCHES "^libkelmmduserapi-se[0-9]+$")
    file(GLOB library ${root}/usr/${LIBDIR}/libkelmmduserapi_se.so.*.*.*)
    if(NOT library)
      message(FATAL_ERROR "${package} has no library in /usr/${LIBDIR}")
    endif()
  endif()
  # Programs and shared objects: stripped, linked to their debug files.
  file(GLOB_RECURSE binaries ${root}/usr/bin/* ${root}/usr/lib/*.so*)
  foreach(binary IN LISTS binaries)
    if(IS_SYMLINK ${binary} OR package MATCHES "-dev$")
      continue()
    endif()
    elf_notes(${binary} notes)
    if(notes MATCHES "\\.debug_info" OR NOT notes MATCHES "\\.gnu_debuglink"
       OR NOT notes MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
      message(FATAL_ERROR "${binary} is not stripped, or has no debug link or build id:\n${notes}")
    endif()
    list(APPEND debug_files "${package}-dbgsym:usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug")
  endforeach()
endforeach()

if(NOT debug_files)
  message(FATAL_ERROR "no program or library among ${debs}")
endif()
foreach(entry IN LISTS debug_files)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 package)
  list(GET entry 1 path)
  set(debug_file ${WORK_DIR}/contents/${package}/${path})
  if(NOT EXISTS ${debug_file})
    message(FATAL_ERROR "${package} has no ${path}")
  endif()
  elf_notes(${debug_file} notes)
  if(NOT notes MATCHES "\\.debug_info")
    message(FATAL_ERROR "${debug_file} holds no debug information")
  endif()
endforeach()
