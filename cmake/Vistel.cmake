# Helpers shared by every CMakeLists.txt of the project.

# Warnings and sanitizers for everything added after this call (libVorm is added before it).
macro(vistel_apply_project_flags)
  add_compile_options(-Wall -Wextra)
  if(VISTEL_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
  if(VISTEL_FUZZ)
    # Instrument every library for coverage, so the fuzzers see inside what they call.
    add_compile_options(-fsanitize=fuzzer-no-link)
  endif()
  if(VISTEL_TSAN)
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
  endif()
endmacro()

# Adds each listed folder that has a CMakeLists.txt, so areas can arrive one at a time.
function(vistel_add_subdirectories)
  foreach(dir IN LISTS ARGN)
    if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt")
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()

# vistel_add_tests(LIBS lib... [LABELS label...] [MAIN target])
# Every test_*.cpp in the calling folder becomes its own GoogleTest executable, so one area's
# broken test cannot stop another's from building. GUI tests run on the offscreen platform.
# MAIN names a library that provides main(); gtest_main otherwise.
function(vistel_add_tests)
  cmake_parse_arguments(T "" "MAIN" "LIBS;LABELS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp")
  if(NOT T_MAIN)
    set(T_MAIN GTest::gtest_main)
  endif()
  file(RELATIVE_PATH area "${PROJECT_SOURCE_DIR}/tests" "${CMAKE_CURRENT_SOURCE_DIR}")
  foreach(source IN LISTS sources)
    get_filename_component(name "${source}" NAME_WE)
    add_executable(${name} "${source}")
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock ${T_MAIN})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
    target_compile_definitions(${name} PRIVATE
      VISTEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      VISTEL_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data")
    gtest_discover_tests(${name}
      DISCOVERY_MODE PRE_TEST
      PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VISTEL_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
        LABELS "${area};${T_LABELS}"
        TIMEOUT 600)
  endforeach()
endfunction()

# vistel_add_fuzzers(LIBS lib...): each fuzz_*.cpp in the calling folder becomes a libFuzzer
# target when VISTEL_FUZZ is on. scripts/fuzz runs them.
function(vistel_add_fuzzers)
  if(NOT VISTEL_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/fuzz_*.cpp")
  foreach(source IN LISTS sources)
    get_filename_component(name "${source}" NAME_WE)
    add_executable(${name} "${source}")
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/fuzz")
    if(NOT TARGET fuzzers)
      add_custom_target(fuzzers)
    endif()
    add_dependencies(fuzzers ${name})
  endforeach()
endfunction()

# vistel_add_benchmarks(LIBS lib...): each bench_*.cpp in the calling folder becomes a
# Google Benchmark executable (not a test: speed is measured, never asserted in tests).
function(vistel_add_benchmarks)
  if(NOT VISTEL_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(B "" "" "LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/bench_*.cpp")
  foreach(source IN LISTS sources)
    get_filename_component(name "${source}" NAME_WE)
    add_executable(${name} "${source}")
    target_link_libraries(${name} PRIVATE ${B_LIBS} benchmark::benchmark)
    target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/benchmarks/support")
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/benchmarks")
  endforeach()
endfunction()

# vistel_link_netwrappers(target): links the network wrappers library into `target` although
# nothing in it calls them, so it stays on the program's list of needed libraries even where the
# linker drops unused ones (--as-needed).
set(CMAKE_LINK_LIBRARY_USING_VISTEL_NO_AS_NEEDED
  "LINKER:--push-state,--no-as-needed" "<LINK_ITEM>" "LINKER:--pop-state")
set(CMAKE_LINK_LIBRARY_USING_VISTEL_NO_AS_NEEDED_SUPPORTED TRUE)
function(vistel_link_netwrappers target)
  target_link_libraries(${target} PRIVATE "$<LINK_LIBRARY:VISTEL_NO_AS_NEEDED,vistel_netwrappers>")
endfunction()
