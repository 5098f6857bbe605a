#include "testmain.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace corvane::test {

namespace {

constexpr char NameVariable[] = "CORVANE_TEST_NAME";

const NamedTest* find(std::span<const NamedTest> tests, const char* name)
{
    if (!name)
        return nullptr;
    for (const NamedTest& test : tests) {
        if (std::strcmp(test.name, name) == 0)
            return &test;
    }
    return nullptr;
}

} // namespace

int runNamedTest(std::span<const NamedTest> tests, int argc, char** argv)
{
    if (const NamedTest* test = find(tests, argc > 1 ? argv[1] : nullptr)) {
        ::setenv(NameVariable, test->name, 1);
        // argv[argc] stays the null pointer that ends the list.
        argv[1] = argv[0];
        return test->main(argc - 1, argv + 1);
    }
    if (const NamedTest* test = find(tests, std::getenv(NameVariable)))
        return test->main(argc, argv);
    std::fprintf(stderr, "usage: %s <test> [the test's arguments]\ntests:", argc > 0 ? argv[0] : "");
    for (const NamedTest& test : tests)
        std::fprintf(stderr, " %s", test.name);
    std::fprintf(stderr, "\n");
    return 2;
}

} // namespace corvane::test
