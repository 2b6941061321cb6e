# Build conventions shared by every subsystem.
option(QELVO_WERROR "Treat compiler warnings as errors" OFF)
option(QELVO_BUILD_TESTS "Build the test programs" ON)

set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

set(QELVO_RESULTS_DIR ${CMAKE_BINARY_DIR}/test-results)
file(MAKE_DIRECTORY ${QELVO_RESULTS_DIR})

add_compile_options(-Wall -Wextra)
if(QELVO_WERROR)
  add_compile_options(-Werror)
endif()

if(WIN32)
  # Windows 2000 is the oldest target: no API newer than it may be declared or imported.
  add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0500 WINVER=0x0500 _WIN32_IE=0x0500)
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Small code: each function and datum in its own section, so that the link of a shipped binary
  # (cmake/Release.cmake) can drop what nothing references; -Os rather than -O3 for Release.
  add_compile_options(-ffunction-sections -fdata-sections)
  set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG")
  set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(QELVO_X86 ON)
    # Subsystem and OS version 5.0: the loader of Windows 2000 refuses anything newer.
    set(QELVO_SUBSYSTEM_VERSION_FLAGS -Wl,--major-subsystem-version,5 -Wl,--minor-subsystem-version,0
                                      -Wl,--major-os-version,5 -Wl,--minor-os-version,0)
    add_link_options(${QELVO_SUBSYSTEM_VERSION_FLAGS})
  else()
    set(QELVO_X86 OFF)
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PROJECT_SOURCE_DIR}/scripts/wine-run)
endif()

# qelvo_use_gtest(<target>): for anything compiled against GoogleTest's headers in a Windows tree.
function(qelvo_use_gtest target)
  if(WIN32)
    # The win32 thread model has no std::mutex: GoogleTest gets a Win32 Notification instead.
    target_compile_definitions(${target} PUBLIC GTEST_HAS_NOTIFICATION_=1)
    target_compile_options(${target} PUBLIC -include ${PROJECT_SOURCE_DIR}/cmake/gtest_win32_notification.h)
  endif()
endfunction()

# GoogleTest from the machine's sources, built for whichever target this tree builds.
if(QELVO_BUILD_TESTS AND NOT TARGET gtest)
  set(QELVO_GTEST_SRC /usr/src/googletest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  if(WIN32)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  endif()
  add_subdirectory(${QELVO_GTEST_SRC} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t})
      target_compile_options(${t} PRIVATE -w)
      qelvo_use_gtest(${t})
    endif()
  endforeach()
endif()

if(NOT WIN32)
  set(QELVO_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
endif()

# qelvo_add_native_test(<name> SOURCES ... [LIBS ...])
# A GoogleTest program for the host, under AddressSanitizer and UndefinedBehaviorSanitizer.
function(qelvo_add_native_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main gmock)
  target_compile_options(${name} PRIVATE ${QELVO_SANITIZE})
  target_link_options(${name} PRIVATE ${QELVO_SANITIZE})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${QELVO_RESULTS_DIR}/${name}.xml)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS native)
endfunction()

# qelvo_harness_test(<test>): a test that runs in the Wine harness (prefix, Xvfb, wineserver,
# simulator). CTest starts the harness before the first such test and stops it after the last
# (the fixture in tests/wine/); they share its display and driver, so one runs at a time.
function(qelvo_harness_test test)
  set_property(TEST ${test} APPEND PROPERTY LABELS wine)
  set_property(TEST ${test} APPEND PROPERTY FIXTURES_REQUIRED wine_harness)
  set_property(TEST ${test} APPEND PROPERTY RESOURCE_LOCK harness_display)
endfunction()

# qelvo_add_wine_test(<name> SOURCES ... [LIBS ...] [TIMEOUT s])
# A GoogleTest program for Windows; CTest runs it under wine64 through scripts/wine-run, in the
# harness (qelvo_harness_test).
function(qelvo_add_wine_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest_main gmock)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  # Under Wine a path without a drive is relative to the program's folder: Z: is the host's root.
  add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:Z:${QELVO_RESULTS_DIR}/${name}.xml)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  qelvo_harness_test(${name})
endfunction()

# qelvo_add_program_resources(<target> RC <file.rc> ENGLISH <file.rc> ART <file names...>)
# The OBJECT library <target> with a program's resources: tools/artgen/artgen.py draws the artwork
# into <binary dir>/art at build time, and windres compiles <file.rc> (which may include
# device/DeviceSelect.rc and framework/Framework.rc, and finds the artwork by file name). ENGLISH
# names the English twin that <file.rc> includes last (with the English twins of those two).
function(qelvo_add_program_resources target)
  cmake_parse_arguments(R "" "RC;ENGLISH" "ART" ${ARGN})
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(art_dir ${CMAKE_CURRENT_BINARY_DIR}/art)
  list(TRANSFORM R_ART PREPEND ${art_dir}/ OUTPUT_VARIABLE art)
  add_custom_command(
    OUTPUT ${art}
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/tools/artgen/artgen.py ${art_dir}
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/artgen/artgen.py
    COMMENT "Drawing the artwork of ${target}"
    VERBATIM)
  add_custom_target(${target}_artwork DEPENDS ${art})

  add_library(${target} OBJECT ${R_RC})
  target_include_directories(${target} PRIVATE
    ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/device ${art_dir})
  set_source_files_properties(${R_RC} PROPERTIES OBJECT_DEPENDS
    "${art};${CMAKE_CURRENT_SOURCE_DIR}/resource.h;${PROJECT_SOURCE_DIR}/device/DeviceSelect.rc;${PROJECT_SOURCE_DIR}/device/DeviceSelectResource.h;${PROJECT_SOURCE_DIR}/framework/Framework.rc;${R_ENGLISH};${PROJECT_SOURCE_DIR}/device/DeviceSelectEnglish.rc;${PROJECT_SOURCE_DIR}/framework/FrameworkEnglish.rc")
  add_dependencies(${target} ${target}_artwork)
endfunction()
