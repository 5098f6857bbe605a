# Tests of src/settings
corvane_test_program(corvane_tests_settings LIBS corvane_settings corvane_resources)
corvane_add_test(test_about SOURCES test_about.cpp ../support/urlrecorder.h)
corvane_add_test(test_settingsstore SOURCES test_settingsstore.cpp)
corvane_add_test(test_help SOURCES test_help.cpp)
