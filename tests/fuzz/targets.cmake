# The fuzz targets, for the libFuzzer programs (CMakeLists.txt) and for the replay of their
# corpora among the tests (replay.cmake): target <name> is fuzz_<name>.cpp, with the libraries
# whose code it reads input with.
set(CORVANE_FUZZ_TARGETS profile settings versionkey webscan http)
set(CORVANE_FUZZ_SUPPORT ${CMAKE_CURRENT_LIST_DIR}/fuzzinput.h
                         ${CMAKE_CURRENT_LIST_DIR}/profilemodel.h)
# The profile target asks for the launcher's own texts, which the catalogue lists.
set(CORVANE_FUZZ_LIBS_profile corvane_platform corvane_platform_detail corvane_app)
set(CORVANE_FUZZ_LIBS_settings corvane_platform corvane_platform_detail)
set(CORVANE_FUZZ_LIBS_versionkey corvane_update)
set(CORVANE_FUZZ_LIBS_webscan corvane_update)
# The HTTP reading belongs to the HTTP module, which no program links: its target compiles it
# in and sees the module's headers.
set(CORVANE_FUZZ_SOURCES_http ${PROJECT_SOURCE_DIR}/src/update/httpparse.cpp)
set(CORVANE_FUZZ_LIBS_http Qt6::Core)
set(CORVANE_FUZZ_INCLUDES_http $<TARGET_PROPERTY:corvane_http,INTERFACE_INCLUDE_DIRECTORIES>)
