# The Python package as others install it (included by python/CMakeLists.txt):
#
# - component deb-python, the Debian package python3-kelmmd: the package in
#   Debian's dist-packages; the extension finds the runtime package's
#   library on the system's search path, so its RPATH is taken out;
# - component wheel, the tree scripts/make-wheel zips into a wheel: the
#   package with the shared library inside it (under its SONAME, the name
#   the extension asks for), found through an RPATH of $ORIGIN.
#
# Both take every .py file of the package as assembled in the build tree.
if(WIN32)
  return()
endif()

function(kelm_install_python_package destination component)
  install(DIRECTORY ${KELM_PYTHON_PACKAGE_DIR}/ DESTINATION ${destination} COMPONENT ${component} EXCLUDE_FROM_ALL
          FILES_MATCHING PATTERN "*.py" PATTERN "__pycache__" EXCLUDE)
  install(TARGETS _kelmmd LIBRARY DESTINATION ${destination} COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()

set(kelm_installed_extension "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/%s/$<TARGET_FILE_NAME:_kelmmd>")

set(KELM_DEB_PYTHON python3-kelmmd PARENT_SCOPE)
set(kelm_dist_packages lib/python3/dist-packages/kelmmd)
kelm_install_python_package(${kelm_dist_packages} deb-python)
string(REPLACE "%s" "${kelm_dist_packages}" extension "${kelm_installed_extension}")
install(CODE "file(RPATH_REMOVE FILE \"${extension}\")" COMPONENT deb-python EXCLUDE_FROM_ALL)
# An extension module is built for one minor version of the interpreter.
math(EXPR kelm_python_next "${Python_VERSION_MINOR} + 1")
set(KELM_DEB_PYTHON_DEPENDS
    "python3 (>= ${Python_VERSION_MAJOR}.${Python_VERSION_MINOR}~), python3 (<< ${Python_VERSION_MAJOR}.${kelm_python_next}), python3-numpy"
    PARENT_SCOPE)

kelm_install_python_package(kelmmd wheel)
string(REPLACE "%s" "kelmmd" extension "${kelm_installed_extension}")
install(CODE "file(RPATH_SET FILE \"${extension}\" NEW_RPATH \"\\\$ORIGIN\")" COMPONENT wheel EXCLUDE_FROM_ALL)
install(FILES $<TARGET_FILE:kelmmduserapi_se> DESTINATION kelmmd
        RENAME libkelmmduserapi_se.so.${PROJECT_VERSION_MAJOR} COMPONENT wheel EXCLUDE_FROM_ALL)
