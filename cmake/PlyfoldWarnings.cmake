# Warnings for the project's own targets; third-party headers come in as system headers.
add_library(plyfold_warnings INTERFACE)
target_compile_options(plyfold_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align -Wunused
  -Woverloaded-virtual -Wimplicit-fallthrough
  $<$<BOOL:${PLYFOLD_WERROR}>:-Werror>)

if(PLYFOLD_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# ThreadSanitizer cannot share a process with AddressSanitizer, and it sees only code built
# with it: Qt and the other system libraries are not, so the tsan preset builds without the GUI.
if(PLYFOLD_SANITIZE_THREAD)
  if(PLYFOLD_SANITIZE)
    message(FATAL_ERROR "PLYFOLD_SANITIZE and PLYFOLD_SANITIZE_THREAD cannot be combined")
  endif()
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
