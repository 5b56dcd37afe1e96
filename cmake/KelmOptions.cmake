# Warnings and sanitizers for the project's own targets.
set(KELM_SANITIZER_FLAGS "")
if(KELM_SANITIZE STREQUAL "address")
  set(KELM_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
elseif(KELM_SANITIZE STREQUAL "thread")
  set(KELM_SANITIZER_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
  # ThreadSanitizer does not model the standalone fences of Asio's handler
  # blocks; the scheduler's own locking orders the handlers anyway.
  add_compile_definitions(BOOST_ASIO_DISABLE_FENCED_BLOCK)
  add_compile_options(-Wno-tsan)
elseif(NOT KELM_SANITIZE STREQUAL "")
  message(FATAL_ERROR "KELM_SANITIZE must be empty, 'address' or 'thread'")
endif()
if(KELM_SANITIZER_FLAGS)
  add_compile_options(${KELM_SANITIZER_FLAGS})
  add_link_options(${KELM_SANITIZER_FLAGS})
endif()

function(kelm_setup_target target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(KELM_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
