# Build conventions shared by every folder: one static library per subsystem folder, its unit
# tests beside its sources, programs staged into the install tree.

set(HALVEX_WARNINGS -Wall -Wextra -Wnon-virtual-dtor -Woverloaded-virtual -Wimplicit-fallthrough)
if(HALVEX_WERROR)
    list(APPEND HALVEX_WARNINGS -Werror)
endif()

if(HALVEX_SANITIZE)
    list(JOIN HALVEX_SANITIZE "," _halvex_san)
    add_compile_options(-fsanitize=${_halvex_san} -fno-omit-frame-pointer)
    add_link_options(-fsanitize=${_halvex_san})
    if("undefined" IN_LIST HALVEX_SANITIZE)
        add_compile_options(-fno-sanitize-recover=undefined)
    endif()
endif()
if(HALVEX_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Builds every concurrency test program and nothing else: the thread-sanitiser run of
# scripts/test builds only this target.
if(NOT TARGET halvex_concurrency_tests)
    add_custom_target(halvex_concurrency_tests)
endif()

# halvex_library(<name> [DEPENDS <targets>...] [TEST_DEPENDS <targets>...] [SOURCES <extra>...])
#
# Makes the static library halvex_<name> from the folder's *.cpp files. Files ending in
# "_test.cpp" form the test program halvex_<name>_tests (ctest label "unit"); files ending in
# "_concurrency_test.cpp" form halvex_<name>_concurrency_tests (labels "unit" and
# "concurrency", the set the thread-sanitiser build runs).
function(halvex_library name)
    cmake_parse_arguments(ARG "" "" "DEPENDS;TEST_DEPENDS;SOURCES" ${ARGN})
    file(GLOB _all CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    set(_src ${ARG_SOURCES})
    set(_tests)
    set(_ctests)
    foreach(f IN LISTS _all)
        if(f MATCHES "_concurrency_test\\.cpp$")
            list(APPEND _ctests ${f})
        elseif(f MATCHES "_test\\.cpp$")
            list(APPEND _tests ${f})
        else()
            list(APPEND _src ${f})
        endif()
    endforeach()

    set(lib halvex_${name})
    if(_src)
        add_library(${lib} STATIC ${_src})
        target_compile_options(${lib} PRIVATE ${HALVEX_WARNINGS})
        target_link_libraries(${lib} PUBLIC ${ARG_DEPENDS})
    else()
        add_library(${lib} INTERFACE)
        target_link_libraries(${lib} INTERFACE ${ARG_DEPENDS})
    endif()

    if(_tests)
        halvex_test_program(${lib}_tests "unit" ${lib} "${ARG_TEST_DEPENDS}" ${_tests})
    endif()
    if(_ctests)
        halvex_test_program(${lib}_concurrency_tests "unit;concurrency" ${lib}
                            "${ARG_TEST_DEPENDS}" ${_ctests})
        add_dependencies(halvex_concurrency_tests ${lib}_concurrency_tests)
    endif()
endfunction()

function(halvex_test_program target labels lib extra)
    add_executable(${target} ${ARGN})
    target_compile_options(${target} PRIVATE ${HALVEX_WARNINGS})
    target_link_libraries(${target} PRIVATE ${lib} ${extra} GTest::gmock GTest::gtest_main
                                            Threads::Threads)
    # Where the staged install tree and the sources are, for tests that use shipped files.
    target_compile_definitions(${target} PRIVATE
        HALVEX_STAGE_DIR="${HALVEX_STAGE_DIR}" HALVEX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    gtest_discover_tests(${target}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 120
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    # A list-valued property (two labels) does not survive the trip through
    # gtest_discover_tests' PROPERTIES, which splits it; a script of our own that ctest reads
    # after the discovered tests sets it whole.
    set(_props "${CMAKE_CURRENT_BINARY_DIR}/${target}_properties.cmake")
    file(WRITE ${_props}
         "if(DEFINED ${target}_TESTS)\n"
         "  set_tests_properties(\${${target}_TESTS} PROPERTIES LABELS \"${labels}\")\n"
         "endif()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_props})
endfunction()

# halvex_program(<name> SOURCES ... DEPENDS ...): a program of the install tree, built into
# <stage>/bin.
function(halvex_program name)
    cmake_parse_arguments(ARG "" "" "DEPENDS;SOURCES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_compile_options(${name} PRIVATE ${HALVEX_WARNINGS})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${HALVEX_STAGE_BIN})
endfunction()
