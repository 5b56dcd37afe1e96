# The Windows build (cross-compiled with MinGW-w64, see i686-w64-mingw32.cmake).
#
# Boost: only headers are used on Windows. Asio, System and Date_Time need
# nothing compiled for what the library uses; the network thread runs on the
# standard library's thread instead of Boost.Thread. The cross compiler must
# not see /usr/include (Linux headers), so the build tree holds a directory
# with a link to Boost's folder alone.
set(KELM_BOOST_ROOT /usr/include/boost CACHE PATH "Boost's header folder")
set(KELM_BOOST_INCLUDE ${PROJECT_BINARY_DIR}/boost-include)
file(MAKE_DIRECTORY ${KELM_BOOST_INCLUDE})
file(CREATE_LINK ${KELM_BOOST_ROOT} ${KELM_BOOST_INCLUDE}/boost SYMBOLIC)

# For every target, as /usr/include is on Linux; -isystem keeps Boost's own
# warnings out of ours.
include_directories(SYSTEM ${KELM_BOOST_INCLUDE})
add_compile_definitions(
  _WIN32_WINNT=0x0601          # Windows 7 API level for Asio
  WIN32_LEAN_AND_MEAN
  NOMINMAX
  BOOST_ALL_NO_LIB)            # no auto-linking pragmas
add_library(kelm_boost_headers INTERFACE)
target_link_libraries(kelm_boost_headers INTERFACE ws2_32 mswsock)
foreach(component headers system date_time)
  add_library(Boost::${component} ALIAS kelm_boost_headers)
endforeach()
set(KELM_THREAD_LIBRARIES "")

# Every program and the DLL carry their own C++ runtime: nothing but Windows
# system DLLs is needed to run them.
add_link_options(-static)

# Wine prefix inside the build tree; tests are listed when CTest runs them,
# not at build time, so building needs no Wine start per test program.
set(KELM_WINEPREFIX ${PROJECT_BINARY_DIR}/wine)
# Programs find kelmmduserapi_se.dll through the PATH (Wine's drive Z: is /).
set(CMAKE_CROSSCOMPILING_EMULATOR env KELM_WINEPREFIX=${KELM_WINEPREFIX}
    WINEPATH=Z:${PROJECT_BINARY_DIR}/api ${CMAKE_CURRENT_LIST_DIR}/wine-run)
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)

# GoogleTest from Debian's sources, compiled with the cross compiler.
if(KELM_BUILD_TESTS)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${PROJECT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()

# The simulator and watcher programs need Boost.Program_options, which has
# compiled parts Debian does not build for Windows; Google Benchmark is not
# there either. Both stay Linux-only (the simulator library is built: the
# tests run it in process).
set(KELM_BUILD_TOOLS OFF)
set(KELM_BUILD_BENCHMARKS OFF)
