# The fuzz targets among the unit tests, with any compiler: one program runs the target that its
# first argument names over every file of its corpus (replay.cpp), the way libFuzzer runs it,
# so that every seed and every input that once found a fault is tried in every test run. Each
# target's entry point is renamed to corvane_fuzz_<name>.
include(${CMAKE_CURRENT_LIST_DIR}/targets.cmake)

set(replay ${CMAKE_CURRENT_LIST_DIR}/replay.cpp)
add_executable(corvane_fuzz_replay ${replay} ${CORVANE_FUZZ_SUPPORT})
# For the flags and the precompiled header of the test programs only.
target_link_libraries(corvane_fuzz_replay PRIVATE corvane_testmain)
if(CORVANE_TEST_PCH)
    target_precompile_headers(corvane_fuzz_replay REUSE_FROM ${CORVANE_TEST_PCH})
endif()
set(replay_targets)
foreach(name IN LISTS CORVANE_FUZZ_TARGETS)
    set(target ${CMAKE_CURRENT_LIST_DIR}/fuzz_${name}.cpp)
    target_sources(corvane_fuzz_replay PRIVATE ${target} ${CORVANE_FUZZ_SOURCES_${name}})
    set_property(SOURCE ${target} APPEND PROPERTY COMPILE_DEFINITIONS
                 LLVMFuzzerTestOneInput=corvane_fuzz_${name})
    target_link_libraries(corvane_fuzz_replay PRIVATE ${CORVANE_FUZZ_LIBS_${name}})
    target_include_directories(corvane_fuzz_replay PRIVATE ${CORVANE_FUZZ_INCLUDES_${name}})
    string(APPEND replay_targets " CORVANE_FUZZ_TARGET(${name})")
    add_test(NAME fuzz_${name}_corpus
             COMMAND corvane_fuzz_replay ${name} ${CMAKE_CURRENT_LIST_DIR}/corpus/${name})
    set_tests_properties(fuzz_${name}_corpus PROPERTIES LABELS fuzz)
endforeach()
set_property(SOURCE ${replay} APPEND PROPERTY COMPILE_DEFINITIONS
             "CORVANE_FUZZ_TARGETS=${replay_targets}")
