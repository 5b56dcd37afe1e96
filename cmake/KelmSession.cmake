# The session layer: header-only C++17 on the public header (include/kelmmd),
# compiled by each application with its own compiler. Exported as
# kelmmduserapi_se::session, which brings the library along, and installed
# with the library component: headers into <prefix>/include/kelmmd.
add_library(kelmmduserapi_se_session INTERFACE)
add_library(kelmmduserapi_se::session ALIAS kelmmduserapi_se_session)
set_target_properties(kelmmduserapi_se_session PROPERTIES EXPORT_NAME session)
target_compile_features(kelmmduserapi_se_session INTERFACE cxx_std_17)
target_link_libraries(kelmmduserapi_se_session INTERFACE kelmmduserapi_se Threads::Threads)

install(TARGETS kelmmduserapi_se_session EXPORT kelmmduserapi_seTargets COMPONENT library)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kelmmd DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT library)
if(WIN32)
  # The Windows zip (cmake/KelmPackaging.cmake) carries its example beside print_quotes.cpp.
  install(FILES ${PROJECT_SOURCE_DIR}/examples/session_quotes.cpp DESTINATION examples COMPONENT windows-extras)
else()
  # The -dev package carries it too (its export set: api/CMakeLists.txt).
  install(TARGETS kelmmduserapi_se_session EXPORT kelmmduserapi_seDebTargets COMPONENT deb-dev)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kelmmd DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT deb-dev)
endif()
