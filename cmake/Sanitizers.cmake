# Sanitizer builds: TREVASTO_SANITIZE "address" (AddressSanitizer with
# UndefinedBehaviorSanitizer) or "thread" (ThreadSanitizer).
#
# TREVASTO_FUZZ builds the libFuzzer targets in fuzz/. It needs clang, and
# implies "address": every library is compiled with the sanitizers and with
# libFuzzer's coverage instrumentation, and the fuzz targets link libFuzzer's
# driver. TREVASTO_FUZZING tells the rest of the build whether that is so.
set(TREVASTO_FUZZING OFF)
if(TREVASTO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(WARNING "TREVASTO_FUZZ needs clang (libFuzzer); the fuzz targets are not built")
  elseif(NOT TREVASTO_SANITIZE STREQUAL "" AND NOT TREVASTO_SANITIZE STREQUAL "address")
    message(FATAL_ERROR "TREVASTO_FUZZ brings AddressSanitizer; TREVASTO_SANITIZE cannot be "
                        "${TREVASTO_SANITIZE}")
  else()
    set(TREVASTO_FUZZING ON)
  endif()
endif()

if(TREVASTO_SANITIZE STREQUAL "address" OR TREVASTO_FUZZING)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
  if(TREVASTO_FUZZING)
    # Coverage feedback only; libFuzzer's main is linked into fuzz/ alone.
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
elseif(TREVASTO_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT TREVASTO_SANITIZE STREQUAL "")
  message(FATAL_ERROR "TREVASTO_SANITIZE must be address, thread or empty")
endif()
