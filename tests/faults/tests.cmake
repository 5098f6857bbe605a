# Fault tests: what the user sees, and that nothing is lost, when the disk, the network, other
# copies or outside input misbehave.
corvane_test_program(corvane_tests_faults LIBS corvane_app corvane_resources)
# The main window's fixture is that of the window's own tests.
target_include_directories(corvane_tests_faults PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../app)
add_dependencies(corvane_tests_faults corvane demo_tools)

corvane_add_test(test_faults_settings SOURCES test_faults_settings.cpp LABELS faults)

# Settings writes killed at random moments, by way of a helper that writes until killed.
add_executable(corvane_settingswriter ${CMAKE_CURRENT_LIST_DIR}/settingswriter.cpp)
target_link_libraries(corvane_settingswriter PRIVATE corvane_settings)
add_dependencies(corvane_tests_faults corvane_settingswriter)
corvane_add_test(test_faults_kill SOURCES test_faults_kill.cpp LABELS faults COST 23)

# Process-level: the real launcher on a private X server.
corvane_add_test(test_faults_singlecopy SOURCES test_faults_singlecopy.cpp LABELS faults x11
                 COST 6)
corvane_add_test(test_faults_update SOURCES test_faults_update.cpp faultserver.h faultserver.cpp
                 LABELS faults x11 COST 7
                 DEFINITIONS CORVANE_UPDATE_ADDRESS="${CORVANE_HOMEPAGE}update.ini")

corvane_add_test(test_faults_language SOURCES test_faults_language.cpp LABELS faults)
corvane_add_test(test_faults_hostile SOURCES test_faults_hostile.cpp LABELS faults COST 14)
