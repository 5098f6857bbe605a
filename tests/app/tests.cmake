# Tests of src/app: the main window, its catalogue and the starting of tools.
corvane_test_program(corvane_tests_app LIBS corvane_app corvane_resources corvane_testhttpserver
                     X11::xcb)
add_dependencies(corvane_tests_app corvane demo_tools)

corvane_add_test(test_mainwindow SOURCES test_mainwindow.cpp)
corvane_add_test(test_launch SOURCES test_launch.cpp COST 4)

# Process-level: the real launcher on a private X server. A launcher that loads
# corvane_hangonexit hangs when it closes its connection to the X server.
add_library(corvane_hangonexit MODULE ${CMAKE_CURRENT_LIST_DIR}/hangonexit.cpp)
add_dependencies(corvane_tests_app corvane_hangonexit)
corvane_add_test(test_singlecopy SOURCES test_singlecopy.cpp LABELS x11 COST 26
                 DEFINITIONS CORVANE_HANG_ON_EXIT="$<TARGET_FILE:corvane_hangonexit>")

corvane_add_test(test_preferences SOURCES test_preferences.cpp)

corvane_add_test(test_updatecheck SOURCES test_updatecheck.cpp ../support/urlrecorder.h COST 6)

# The main window's texts: the table, and a language file applied to the window.
corvane_add_test(test_mainform SOURCES test_mainform.cpp)
