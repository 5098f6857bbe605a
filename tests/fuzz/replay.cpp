// Runs a fuzz target over files, the way libFuzzer runs it over its corpus, without libFuzzer:
// the normal test build replays every seed and every input that once found a fault, so that
// a regression shows in every test run. The first argument names the target; the others are
// files or folders (not descended into).

#include "testmain.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

using TestOneInput = int (*)(const std::uint8_t* data, std::size_t size);

// The targets' entry points, renamed from LLVMFuzzerTestOneInput by the build, which lists them
// in CORVANE_FUZZ_TARGETS.
#define CORVANE_FUZZ_TARGET(name)                                                                  \
    extern "C" int corvane_fuzz_##name(const std::uint8_t* data, std::size_t size);
CORVANE_FUZZ_TARGETS
#undef CORVANE_FUZZ_TARGET

namespace {

int replay(TestOneInput target, int argc, char** argv)
{
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString path = QFile::decodeName(argv[i]);
        if (QFileInfo(path).isDir()) {
            const QDir folder(path);
            const QStringList names = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
            for (const QString& name : names)
                files.append(folder.filePath(name));
        } else {
            files.append(path);
        }
    }
    if (files.isEmpty()) {
        std::fprintf(stderr, "no input files\n");
        return 1;
    }
    for (const QString& path : std::as_const(files)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qUtf8Printable(path));
            return 1;
        }
        const QByteArray bytes = file.readAll();
        // As libFuzzer does: the data lives in a buffer of exactly its size.
        std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[std::size_t(bytes.size())]);
        if (!bytes.isEmpty())
            std::memcpy(copy.get(), bytes.constData(), std::size_t(bytes.size()));
        target(copy.get(), std::size_t(bytes.size()));
    }
    std::printf("%lld inputs run\n", static_cast<long long>(files.size()));
    return 0;
}

// Each target as a test of its own, chosen by name as the test programs choose theirs.
#define CORVANE_FUZZ_TARGET(name)                                                                  \
    int replay_##name(int argc, char** argv)                                                       \
    {                                                                                              \
        return replay(&corvane_fuzz_##name, argc, argv);                                           \
    }
CORVANE_FUZZ_TARGETS
#undef CORVANE_FUZZ_TARGET

} // namespace

int main(int argc, char** argv)
{
#define CORVANE_FUZZ_TARGET(name) corvane::test::NamedTest{#name, &replay_##name},
    static const corvane::test::NamedTest targets[] = {CORVANE_FUZZ_TARGETS};
#undef CORVANE_FUZZ_TARGET
    return corvane::test::runNamedTest(targets, argc, argv);
}
