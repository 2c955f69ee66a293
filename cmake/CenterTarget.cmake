# Warnings and hardening for the project's own targets (never for third-party code).
function(kestryn_harden target)
    target_compile_options(${target} PRIVATE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Woverloaded-virtual
        -Wold-style-cast -Wcast-qual -Wformat=2
        -fstack-protector-strong)
    # Off by default: a newer or older compiler's new warning must not break a user's build.
    if(KESTRYN_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    if(NOT KESTRYN_SANITIZE AND NOT KESTRYN_FUZZ)
        target_compile_definitions(${target} PRIVATE $<$<NOT:$<CONFIG:Debug>>:_FORTIFY_SOURCE=2>)
    endif()
    target_link_options(${target} PRIVATE -Wl,-z,relro,-z,now)
    if(KESTRYN_SANITIZE)
        target_compile_options(${target} PRIVATE -fsanitize=address,undefined -fno-sanitize-recover=all
                                                 -fno-omit-frame-pointer)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
    if(KESTRYN_FUZZ)
        target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link,address,undefined)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()

# A library of one subsystem: headers are included as "<subsystem>/<File>.h".
function(kestryn_library target)
    add_library(${target} STATIC ${ARGN})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    kestryn_harden(${target})
endfunction()

# A GoogleTest executable registered with CTest, one per subsystem. Tests of Qt code name
# QT_MAIN: their main() (tests/support/QtTestMain.cpp) creates the application object whose event
# loop they run; the others use GoogleTest's.
function(kestryn_test target)
    cmake_parse_arguments(PARSE_ARGV 1 TEST "QT_MAIN" "" "")
    add_executable(${target} ${TEST_UNPARSED_ARGUMENTS})
    kestryn_harden(${target})
    target_link_libraries(${target} PRIVATE GTest::gtest GTest::gmock)
    set(sanitizer "")
    if(TEST_QT_MAIN)
        target_link_libraries(${target} PRIVATE testsupport_qtmain)
        # Address checks stay on; the leak check does not fit Qt's pooled worker threads, which
        # keep OpenSSL's per-thread random generators and error queues until the process ends.
        set(sanitizer "ASAN_OPTIONS=set:detect_leaks=0:abort_on_error=1")
    else()
        target_link_libraries(${target} PRIVATE GTest::gtest_main)
    endif()
    add_dependencies(${target} resources)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60
                         PROPERTIES ENVIRONMENT "KESTRYN_RESOURCES=${CMAKE_BINARY_DIR}/resources"
                                    ENVIRONMENT_MODIFICATION "${sanitizer}")
endfunction()
