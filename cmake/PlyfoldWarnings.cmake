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

# libFuzzer learns only from code that carries coverage counters, so every target of the
# project is instrumented, not only the harnesses; fuzz/ links libFuzzer's own main into the
# harnesses alone.
if(PLYFOLD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "PLYFOLD_FUZZ needs clang")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
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
