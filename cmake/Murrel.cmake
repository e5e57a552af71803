# Build helpers shared by every folder.

# Scratch home and runtime folder for test runs, so that tests never touch the
# real user's settings and Qt finds a private runtime directory.
set(MURREL_TEST_HOME ${CMAKE_BINARY_DIR}/testhome)
set(MURREL_TEST_RUNTIME ${CMAKE_BINARY_DIR}/testruntime)
file(MAKE_DIRECTORY ${MURREL_TEST_HOME} ${MURREL_TEST_RUNTIME})
file(CHMOD ${MURREL_TEST_RUNTIME} DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
set(MURREL_TEST_ENV
  "QT_QPA_PLATFORM=offscreen"
  "HOME=${MURREL_TEST_HOME}"
  "XDG_RUNTIME_DIR=${MURREL_TEST_RUNTIME}"
  "MURREL_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
  "MURREL_BIN_DIR=${MURREL_BIN_DIR}")

# murrel_library(<target> [DIR <subfolder>] [PUBLIC <libs>] [PRIVATE <libs>])
# Collects the folder's *.cpp files into a static library. A folder whose code has
# not been written yet becomes an interface target, so dependants still link.
function(murrel_library target)
  cmake_parse_arguments(ARG "" "DIR" "PUBLIC;PRIVATE" ${ARGN})
  if(NOT ARG_DIR)
    set(ARG_DIR .)
  endif()
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/*.cpp)
  file(GLOB hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${ARG_DIR}/*.h)
  if(srcs)
    add_library(${target} STATIC ${srcs} ${hdrs})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_PUBLIC})
  endif()
endfunction()

# murrel_tests([PREFIX <name>] LIBS <libs> [DEPENDS <programs the suites run>])
# Every tests/test_*.cpp of the folder becomes its own executable, so that one
# suite under construction never stops another from building. Files named
# test_gui_*.cpp get a main() that creates the QApplication. The executables
# and test names start with the folder's name, or with PREFIX (a sub-folder
# keeping its subsystem's name).
function(murrel_tests)
  cmake_parse_arguments(ARG "" "PREFIX" "LIBS;DEPENDS" ${ARGN})
  if(ARG_PREFIX)
    set(folder ${ARG_PREFIX})
  else()
    get_filename_component(folder ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  endif()
  file(GLOB tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/test_*.cpp)
  foreach(src ${tests})
    get_filename_component(name ${src} NAME_WE)
    set(exe ${folder}_${name})
    add_executable(${exe} ${src})
    if(name MATCHES "^test_gui_")
      target_link_libraries(${exe} PRIVATE ${ARG_LIBS} murrel_testsupport_gui GTest::gmock)
    else()
      target_link_libraries(${exe} PRIVATE ${ARG_LIBS} murrel_testsupport GTest::gtest_main GTest::gmock)
    endif()
    target_compile_definitions(${exe} PRIVATE
      MURREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}" MURREL_BIN_DIR="${MURREL_BIN_DIR}")
    set_target_properties(${exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    # Programs the suites run are built with them.
    if(ARG_DEPENDS)
      add_dependencies(${exe} ${ARG_DEPENDS})
    endif()
    # A suite that starts the program itself takes the program's one
    # instance per user in turn with the end-to-end cases.
    # Suites that play into or record from the test sound server's one sink
    # take it in turn, with the end-to-end cases: two at once hear each other.
    set(lock)
    if(name MATCHES "screenshot")
      set(lock RESOURCE_LOCK desktop_program)
    elseif(name MATCHES "portaudio|pa_cadence")
      set(lock RESOURCE_LOCK sound_sink)
    endif()
    gtest_discover_tests(${exe}
      DISCOVERY_MODE PRE_TEST
      DISCOVERY_TIMEOUT 60
      TEST_PREFIX "${folder}."
      PROPERTIES ENVIRONMENT "${MURREL_TEST_ENV}" LABELS ${folder} ${lock})
  endforeach()
endfunction()

# murrel_fuzzers(LIBS <libs>)
# Every fuzz/*.cpp of the folder becomes a libFuzzer executable in a fuzzing
# build (-DMURREL_FUZZ=ON with clang); see scripts/fuzz.
function(murrel_fuzzers)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  if(NOT MURREL_FUZZ)
    return()
  endif()
  file(GLOB fuzzers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/fuzz/*.cpp)
  foreach(src ${fuzzers})
    get_filename_component(name ${src} NAME_WE)
    add_executable(fuzz_${name} ${src})
    target_link_libraries(fuzz_${name} PRIVATE ${ARG_LIBS})
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    set_target_properties(fuzz_${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  endforeach()
endfunction()
