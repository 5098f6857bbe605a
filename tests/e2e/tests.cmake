# End-to-end tests: the real launcher, built into the program folder, on a private X server
# with a window manager. Screenshots go to the artifacts folder of the build tree.

# The launcher's libraries give the catalogue's and the window's constants, and the pictures to
# compare the windows' icons with.
corvane_test_program(corvane_tests_e2e LIBS corvane_app corvane_resources corvane_testhttpserver)
target_compile_definitions(corvane_tests_e2e PRIVATE
                           CORVANE_ARTIFACTS_DIR="${CMAKE_BINARY_DIR}/artifacts")
target_sources(corvane_tests_e2e PRIVATE ${CMAKE_CURRENT_LIST_DIR}/e2esupport.h)
add_dependencies(corvane_tests_e2e corvane demo_tools)

# corvane_add_e2e_test(<name> <corvane_add_test arguments>...)
function(corvane_add_e2e_test name)
    corvane_add_test(${name} ${ARGN})
    set_tests_properties(${name} PROPERTIES TIMEOUT 120 RUN_SERIAL TRUE)
endfunction()

corvane_add_e2e_test(test_e2e_update SOURCES test_e2e_update.cpp LABELS e2e COST 17
                     DEFINITIONS CORVANE_UPDATE_ADDRESS="${CORVANE_HOMEPAGE}update.ini")
corvane_add_e2e_test(test_e2e_desktop SOURCES test_e2e_desktop.cpp LABELS e2e COST 10)

# The launcher under sway, a Wayland compositor, on its headless backend. A small client of
# our own gives it activation tokens and pointer clicks.
find_package(PkgConfig)
if(PkgConfig_FOUND)
    pkg_check_modules(WAYLAND_CLIENT IMPORTED_TARGET wayland-client)
endif()
if(WAYLAND_CLIENT_FOUND)
    add_executable(waylandclient ${CMAKE_CURRENT_LIST_DIR}/waylandclient.cpp)
    target_link_libraries(waylandclient PRIVATE PkgConfig::WAYLAND_CLIENT)
    # A tool of the test, which leaves its protocol objects to the end of its short life.
    target_compile_options(waylandclient PRIVATE -fno-sanitize=all)
    target_link_options(waylandclient PRIVATE -fno-sanitize=all)
    add_dependencies(corvane_tests_e2e waylandclient)
    corvane_add_e2e_test(test_e2e_wayland SOURCES test_e2e_wayland.cpp LABELS e2e wayland
                         DEFINITIONS CORVANE_WAYLAND_CLIENT="$<TARGET_FILE:waylandclient>")
else()
    add_test(NAME test_e2e_wayland COMMAND sh -c
             "echo 'libwayland-dev is missing (scripts/setup.sh installs it)'; exit 77")
    set_tests_properties(test_e2e_wayland PROPERTIES LABELS "e2e;wayland" SKIP_RETURN_CODE 77)
endif()
