// Runs a fuzz target over files, the way libFuzzer runs it over its corpus, without libFuzzer:
// the normal test build replays every seed and every input that once found a fault, so that
// a regression shows in every test run. The first argument names the target; the others are
// files or folders (not descended into).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

// The targets' entry points, renamed from LLVMFuzzerTestOneInput by the build, which lists them
// in CORVANE_FUZZ_TARGETS.
#define CORVANE_FUZZ_TARGET(name)                                                              \
    extern "C" int corvane_fuzz_##name(const std::uint8_t* data, std::size_t size);
CORVANE_FUZZ_TARGETS
#undef CORVANE_FUZZ_TARGET

namespace {

struct Target
{
    const char* name;
    int (*testOneInput)(const std::uint8_t* data, std::size_t size);
};

#define CORVANE_FUZZ_TARGET(name) {#name, &corvane_fuzz_##name},
constexpr Target Targets[] = {CORVANE_FUZZ_TARGETS};
#undef CORVANE_FUZZ_TARGET

} // namespace

int main(int argc, char** argv)
{
    const Target* target = nullptr;
    for (const Target& candidate : Targets) {
        if (argc > 1 && std::strcmp(argv[1], candidate.name) == 0)
            target = &candidate;
    }
    if (!target) {
        std::fprintf(stderr, "usage: %s <target> <file or folder>...\ntargets:",
                     argc > 0 ? argv[0] : "");
        for (const Target& candidate : Targets)
            std::fprintf(stderr, " %s", candidate.name);
        std::fprintf(stderr, "\n");
        return 2;
    }
    QStringList files;
    for (int i = 2; i < argc; ++i) {
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
        target->testOneInput(copy.get(), std::size_t(bytes.size()));
    }
    std::printf("%lld inputs run\n", static_cast<long long>(files.size()));
    return 0;
}
