#pragma once

// The main() that the tests of one folder share. A test program holds several tests, each
// compiled with its own main() renamed to corvane_main_<test>; the program's main(), written by
// the build (tests/CMakeLists.txt), hands the test named by the first argument the rest of the
// arguments, so that ctest runs each test by its name: `corvane_tests_platform test_profile`.

#include <span>

namespace corvane::test {

struct NamedTest
{
    const char* name;
    int (*main)(int argc, char** argv);
};

/// Runs the test that the first argument names, without that argument. A test that starts its
/// own program again (a child mode, a probe in a clean process) does not pass the name:
/// CORVANE_TEST_NAME in the environment carries it to such children.
int runNamedTest(std::span<const NamedTest> tests, int argc, char** argv);

} // namespace corvane::test
