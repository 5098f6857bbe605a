# Tests of src/i18n
corvane_test_program(corvane_tests_i18n LIBS corvane_i18n)
corvane_add_test(test_translate SOURCES test_translate.cpp)
