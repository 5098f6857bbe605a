# Tests of src/platform
corvane_test_program(corvane_tests_platform LIBS corvane_platform corvane_platform_detail)
corvane_add_test(test_profile SOURCES test_profile.cpp)
corvane_add_test(test_files SOURCES test_files.cpp)
corvane_add_test(test_singlecopysocket SOURCES test_singlecopysocket.cpp COST 14)
