# Helpers shared by every CMakeLists.txt of the project.

# Warnings and sanitizers for everything added after this call (libVorm is added before it).
macro(vistel_apply_project_flags)
  add_compile_options(-Wall -Wextra)
  # lld links in a quarter of the default linker's time, and a build links some 240 files.
  if(VISTEL_HAS_LLD)
    add_link_options(-fuse-ld=lld)
  endif()
  if(VISTEL_SANITIZE)
    # -O1: the tests run several times faster than at -O0 and the reports keep their lines.
    add_compile_options(-O1 ${VISTEL_DEBUG_INFO} -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
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

# vistel_add_tests(LIBS lib... [INCLUDES folder...] [DEFINITIONS name=value...] [LABELS label...]
#                  [MAIN target] [ALONE test_x...] [APART test_x...])
# The test_*.cpp files of the calling folder are linked into one GoogleTest executable,
# tests_<folder> (tests/Common/XML: tests_Common_XML), in build/tests; gtest_discover_tests makes
# each test its own ctest entry. With VISTEL_UNITY the files of that executable compile eight to a
# translation unit in one object library (tests_<folder>_objects), so two files of a folder may
# not give one name twice at file scope; file by file, each has an object library named after it
# (test_x for test_x.cpp). Settings for one file go to the target vistel_test_target() names:
#   vistel_test_target(target test_x)
#   target_compile_definitions(${target} PRIVATE ...)
# which can be the folder's shared one; the target is empty when test_x is not built. A file named
# in APART keeps an object library of its own in any case, for settings the others must not see.
# A file that cannot share a process with the others runs alone, in an executable of its own
# (target test_x_alone, file build/tests/test_x, object library test_x): a file that registers a
# gtest Environment, starts its own binary again (spawnTestProcess, runAsNobody, runTestUnderXvfb),
# sets up a mount namespace or a private bus, changes the process environment (setenv, qputenv,
# ShellTestSupport) or has its own main() is found by those names; any other is named in ALONE,
# or carries the word VISTEL_TEST_RUNS_ALONE in a comment. GUI tests run on the offscreen
# platform. MAIN names a library that provides main(); gtest_main otherwise. INCLUDES and
# DEFINITIONS apply to every file of the folder.
set(VISTEL_TEST_ALONE_PATTERN
  "AddGlobalTestEnvironment|spawnTestProcess|runAsNobody|runTestUnderXvfb|PrivateMountNamespace|PrivateSystemBus|QDBusConnection|ShellTestSupport|setenv|putenv|/proc/self/exe|int main[ ]*[(]|VISTEL_TEST_RUNS_ALONE")
function(vistel_add_tests)
  cmake_parse_arguments(T "" "MAIN" "LIBS;INCLUDES;DEFINITIONS;LABELS;ALONE;APART" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/test_*.cpp")
  if(NOT sources)
    return()
  endif()
  if(NOT T_MAIN)
    set(T_MAIN GTest::gtest_main)
  endif()
  file(RELATIVE_PATH area "${PROJECT_SOURCE_DIR}/tests" "${CMAKE_CURRENT_SOURCE_DIR}")
  string(REGEX REPLACE "[^A-Za-z0-9_]" "_" group "tests_${area}")
  set(shared "")
  set(apart "")
  foreach(source IN LISTS sources)
    get_filename_component(name "${source}" NAME_WE)
    file(READ "${source}" text)
    if(name IN_LIST T_ALONE OR text MATCHES "${VISTEL_TEST_ALONE_PATTERN}")
      _vistel_test_objects(${name} "${source}")
      _vistel_test_executable(${name}_alone ${name} ${name})
    elseif(VISTEL_UNITY AND NOT name IN_LIST T_APART)
      list(APPEND shared "${source}")
      set_property(GLOBAL PROPERTY VISTEL_TEST_TARGET_${name} ${group}_objects)
    else()
      _vistel_test_objects(${name} "${source}")
      list(APPEND apart ${name})
    endif()
  endforeach()
  if(shared)
    _vistel_test_objects(${group}_objects ${shared})
    set_target_properties(${group}_objects PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
    # A test's class derives from its file's fixture in an anonymous namespace: what GCC warns of
    # in an included file, and each file is included by its batch.
    target_compile_options(${group}_objects PRIVATE $<$<CXX_COMPILER_ID:GNU>:-Wno-subobject-linkage>)
    list(APPEND apart ${group}_objects)
  endif()
  if(apart)
    _vistel_test_executable(${group} ${group} ${apart})
  endif()
endfunction()

# The object library `target` of the test files given (in vistel_add_tests' scope).
macro(_vistel_test_objects target)
  add_library(${target} OBJECT ${ARGN})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock ${T_MAIN})
  target_compile_definitions(${target} PRIVATE
    VISTEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    VISTEL_TEST_DATA_DIR="${CMAKE_CURRENT_SOURCE_DIR}/data"
    ${T_DEFINITIONS})
  target_include_directories(${target} PRIVATE ${T_INCLUDES})
  if(NOT "${target}" MATCHES "_objects$")
    set_property(GLOBAL PROPERTY VISTEL_TEST_TARGET_${target} ${target})
  endif()
endmacro()

# The target that compiles the test file `name` (test_x): its own object library or its folder's
# shared one; empty when the file is not built.
function(vistel_test_target out name)
  get_property(target GLOBAL PROPERTY VISTEL_TEST_TARGET_${name})
  set(${out} "${target}" PARENT_SCOPE)
endfunction()

# The test executable `target` (file build/tests/`file`) made of the test object libraries given.
function(_vistel_test_executable target file)
  add_executable(${target})
  target_link_libraries(${target} PRIVATE ${ARGN})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${file} RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests"
    VISTEL_RUNTIME_DEPENDENCIES ON)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;VISTEL_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
      LABELS "${area};${T_LABELS}"
      TIMEOUT 600)
endfunction()

# vistel_add_fuzzers(LIBS lib...): each fuzz_*.cpp in the calling folder becomes a libFuzzer
# target, in build/fuzz/ and the `fuzzers` target. VISTEL_FUZZ builds them over libraries
# instrumented for coverage, to explore; a clang sanitizer build builds them over its own
# libraries, enough to replay the committed corpora (scripts/fuzz --replay). scripts/fuzz runs them.
function(vistel_add_fuzzers)
  if(NOT VISTEL_FUZZ AND NOT (VISTEL_SANITIZE AND CMAKE_CXX_COMPILER_ID STREQUAL "Clang"))
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
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/benchmarks"
      VISTEL_RUNTIME_DEPENDENCIES ON)
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

# ---------------------------------------------------------------------------------------------
# Precompiled headers. Parsing the standard library, Qt and GoogleTest again in every translation
# unit was most of the build's time; each C++ library and test of the project now loads them from
# a precompiled header instead. Only third-party headers go in: a project header in it would make
# every file depend on it, so that touching it rebuilds everything.
#
# A target gets the richest set that its links allow (a library that does not link Qt never sees
# a Qt header, so `signals`, `slots` and `emit` mean nothing new to it), and tests get GoogleTest
# on top. With GCC each set is compiled once, by a small object library, and the targets reuse it
# (REUSE_FROM); clang refuses a header precompiled under other definitions, so there every target
# compiles its own. C sources, executables (tools, probes, fuzzers, benchmarks: few files each),
# libVorm and targets with their own visibility are left alone, as is anything with the
# VISTEL_NO_PCH property. -DVISTEL_PCH=OFF -DVISTEL_UNITY=OFF builds without them and file by
# file (to find a missing #include).
option(VISTEL_PCH "Use precompiled headers" ON)

set(VISTEL_PCH_STD
  <algorithm> <array> <atomic> <chrono> <cmath> <condition_variable> <cstddef> <cstdint> <cstdio>
  <cstdlib> <cstring> <deque> <exception> <fstream> <functional> <limits> <map>
  <memory> <mutex> <optional> <set> <sstream> <string> <string_view> <thread> <unordered_map>
  <utility> <vector>)
set(VISTEL_PCH_QT_CORE
  <QtCore/QByteArray> <QtCore/QCoreApplication> <QtCore/QHash> <QtCore/QList> <QtCore/QObject>
  <QtCore/QPointer> <QtCore/QRectF> <QtCore/QSizeF> <QtCore/QString> <QtCore/QTimer> <QtCore/QVariant>)
set(VISTEL_PCH_QT_GUI
  <QtGui/QGuiApplication> <QtGui/QImage> <QtGui/QPainter> <QtGui/QScreen>)
set(VISTEL_PCH_QT_WIDGETS
  <QtWidgets/QApplication> <QtWidgets/QHBoxLayout> <QtWidgets/QMenu> <QtWidgets/QScrollBar>
  <QtWidgets/QVBoxLayout> <QtWidgets/QWidget>)
# <filesystem> brings std::quoted (<iomanip>), which argument-dependent lookup would then prefer
# to a file's own quoted(); GoogleTest includes <iomanip> anyway.
set(VISTEL_PCH_TEST <gtest/gtest.h> <filesystem>)

# Every target the libraries `target` links to, directly or through others, into `out`.
function(_vistel_link_closure target out)
  set(seen "")
  set(queue "${target}")
  while(queue)
    list(POP_FRONT queue item)
    if(NOT TARGET "${item}")
      continue()
    endif()
    get_target_property(aliased "${item}" ALIASED_TARGET)
    if(aliased)
      set(item "${aliased}")
    endif()
    if("${item}" IN_LIST seen)
      continue()
    endif()
    list(APPEND seen "${item}")
    get_target_property(type "${item}" TYPE)
    get_target_property(imported "${item}" IMPORTED)
    set(links "")
    get_target_property(interface "${item}" INTERFACE_LINK_LIBRARIES)
    if(interface)
      list(APPEND links ${interface})
    endif()
    if(NOT imported AND NOT type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(direct "${item}" LINK_LIBRARIES)
      if(direct)
        list(APPEND links ${direct})
      endif()
    endif()
    foreach(link IN LISTS links)
      # $<LINK_ONLY:x> and $<LINK_LIBRARY:feature,x>: the library is the last item.
      string(REGEX REPLACE "^\\$<[A-Z_]+:(.*,)?([^,>]+)>$" "\\2" link "${link}")
      if(TARGET "${link}")
        list(APPEND queue "${link}")
      endif()
    endforeach()
  endwhile()
  set(${out} "${seen}" PARENT_SCOPE)
endfunction()

# Every build-system target defined in `dir` and below, into `out`.
function(_vistel_targets_below dir out)
  get_property(targets DIRECTORY "${dir}" PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY "${dir}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    _vistel_targets_below("${sub}" below)
    list(APPEND targets ${below})
  endforeach()
  set(${out} "${targets}" PARENT_SCOPE)
endfunction()

# Test code is compiled for a short build rather than for speed, at -O0: it is most of the
# objects, and GoogleTest's macros make it the slowest code to optimise (a batch of browse-mode
# tests: 12.7 s at -O1, 10.6 s at -O0; four times slower under the sanitizers at -O1 than at -O0).
# What the tests exercise, the libraries, keeps the build's own level. Under the address and
# undefined-behaviour sanitizers the test code keeps AddressSanitizer and leaves out the
# undefined-behaviour checks, which are for the code under test: a check site in every GoogleTest
# macro made the test objects 2.4 times larger and 1.5 times slower to compile. Every target that
# links GoogleTest gets these options, the precompiled header of its set included, so that its
# flags and the header's agree.
set(VISTEL_TEST_COMPILE_OPTIONS -O0)
if(VISTEL_SANITIZE)
  list(APPEND VISTEL_TEST_COMPILE_OPTIONS -fno-sanitize=undefined)
endif()

function(vistel_apply_test_compile_options)
  _vistel_targets_below("${PROJECT_SOURCE_DIR}" targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(SHARED_LIBRARY|MODULE_LIBRARY|STATIC_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    _vistel_link_closure(${target} closure)
    if(GTest::gtest IN_LIST closure)
      target_compile_options(${target} PRIVATE ${VISTEL_TEST_COMPILE_OPTIONS})
    endif()
  endforeach()
endfunction()

# Gives each eligible target its precompiled header; called once, after every target exists.
function(vistel_apply_precompiled_headers)
  if(NOT VISTEL_PCH)
    return()
  endif()
  _vistel_targets_below("${PROJECT_SOURCE_DIR}" targets)
  file(WRITE "${CMAKE_BINARY_DIR}/pch/empty.cpp.in" "// Compiled only to make the precompiled header.\n")
  configure_file("${CMAKE_BINARY_DIR}/pch/empty.cpp.in" "${CMAKE_BINARY_DIR}/pch/empty.cpp" COPYONLY)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(SHARED_LIBRARY|MODULE_LIBRARY|STATIC_LIBRARY|OBJECT_LIBRARY)$")
      continue()
    endif()
    get_target_property(source_dir ${target} SOURCE_DIR)
    get_target_property(no_pch ${target} VISTEL_NO_PCH)
    get_target_property(visibility ${target} CXX_VISIBILITY_PRESET)
    get_target_property(own ${target} PRECOMPILE_HEADERS)
    get_target_property(reuse ${target} PRECOMPILE_HEADERS_REUSE_FROM)
    if(no_pch OR visibility OR own OR reuse OR source_dir MATCHES "^${PROJECT_SOURCE_DIR}/LibVorm(/|$)")
      continue()
    endif()
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources INCLUDE REGEX "\\.(cpp|cc|cxx)$")
    if(NOT sources)
      continue()
    endif()
    _vistel_link_closure(${target} closure)
    set(headers ${VISTEL_PCH_STD})
    set(set_name std)
    set(set_links "")
    foreach(module IN ITEMS Core Gui Widgets)
      if(Qt6::${module} IN_LIST closure)
        string(TOUPPER "${module}" upper)
        list(APPEND headers ${VISTEL_PCH_QT_${upper}})
        string(TOLOWER "qt${module}" set_name)
        set(set_links Qt6::${module})
      endif()
    endforeach()
    if(GTest::gtest IN_LIST closure)
      list(APPEND headers ${VISTEL_PCH_TEST})
      string(APPEND set_name _test)
      list(APPEND set_links GTest::gtest)
    endif()
    list(TRANSFORM headers PREPEND "$<$<COMPILE_LANGUAGE:CXX>:")
    list(TRANSFORM headers APPEND ">")
    set(owner vistel_pch_${set_name})
    if(NOT TARGET ${owner})
      add_library(${owner} OBJECT "${CMAKE_BINARY_DIR}/pch/empty.cpp")
      set_target_properties(${owner} PROPERTIES AUTOMOC OFF)
      target_link_libraries(${owner} PRIVATE ${set_links})
      target_precompile_headers(${owner} PRIVATE ${headers})
      if(GTest::gtest IN_LIST set_links)
        target_compile_options(${owner} PRIVATE ${VISTEL_TEST_COMPILE_OPTIONS})
      endif()
    endif()
    target_precompile_headers(${target} REUSE_FROM ${owner})
  endforeach()
endfunction()

# What the test and benchmark executables load at run time without linking it: the staged
# resources, and the codec plug-ins for any that links the codec host. Building one of them then
# builds what it needs to run. Called once, after every target exists.
function(vistel_add_test_runtime_dependencies)
  _vistel_targets_below("${PROJECT_SOURCE_DIR}" targets)
  set(plugins "")
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    get_target_property(source_dir ${target} SOURCE_DIR)
    if(type STREQUAL "MODULE_LIBRARY" AND source_dir MATCHES "^${PROJECT_SOURCE_DIR}/plugins/")
      list(APPEND plugins ${target})
    endif()
  endforeach()
  foreach(target IN LISTS targets)
    get_target_property(loads ${target} VISTEL_RUNTIME_DEPENDENCIES)
    if(NOT loads)
      continue()
    endif()
    if(TARGET vistel_resources)
      add_dependencies(${target} vistel_resources)
    endif()
    _vistel_link_closure(${target} closure)
    if(plugins AND (vistel_imaging IN_LIST closure OR vistel_codeckit IN_LIST closure))
      add_dependencies(${target} ${plugins})
    endif()
  endforeach()
endfunction()

# The libraries, plug-ins and the program compile their sources eight to a translation unit
# (unity builds): the shared headers are read and their templates instantiated once per batch
# rather than once per file, which takes these targets' compile time to about 0.4×. A touched
# file recompiles its batch, still seconds. The tests are batched the same way, by
# vistel_add_tests. A name given twice at file scope in one library, or in the shared test files
# of one folder (two static helpers, two anonymous-namespace fixtures), is an error here: give
# each its own name, or share one. -DVISTEL_UNITY=OFF compiles file by file.
option(VISTEL_UNITY "Compile the sources and the tests in batches" ON)
function(vistel_apply_unity_build)
  if(NOT VISTEL_UNITY)
    return()
  endif()
  foreach(dir IN ITEMS src plugins LibZovTranslator)
    _vistel_targets_below("${PROJECT_SOURCE_DIR}/${dir}" targets)
    foreach(target IN LISTS targets)
      get_target_property(type ${target} TYPE)
      if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
        set_target_properties(${target} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
      endif()
    endforeach()
  endforeach()
endfunction()
