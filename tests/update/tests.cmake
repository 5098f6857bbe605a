# Tests of src/update
corvane_test_program(corvane_tests_update LIBS corvane_update corvane_resources
                     corvane_testhttpserver)
corvane_add_test(test_webscan SOURCES test_webscan.cpp)
corvane_add_test(test_versionkey SOURCES test_versionkey.cpp)
# The fetcher against a scripted HTTP server of our own on 127.0.0.1.
corvane_add_test(test_webdata SOURCES test_webdata.cpp COST 7
                 DEFINITIONS CORVANE_TEST_CERTS_DIR="${PROJECT_SOURCE_DIR}/tests/support/certs")
corvane_add_test(test_updateprompt SOURCES test_updateprompt.cpp ../support/urlrecorder.h)
