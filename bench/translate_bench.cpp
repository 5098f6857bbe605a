// The in-process figures, with Google Benchmark: the main window's 44 lookups with a complete
// UTF-16LE language file of all sixty texts, each lookup reading the file anew, and what
// surrounds them at start-up (the whole translation step of the window, and building the
// window). Run on the offscreen platform; bench/run.sh reports the medians.

#include "languagefile.h"

#include "app/mainwindow.h"
#include "app/toolcatalog.h"
#include "i18n/mainform.h"
#include "i18n/texts.h"
#include "i18n/translate.h"
#include "platform/platform.h"
#include "settings/settingsstore.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace corvane;

// A program folder shaped like the installed one: the launcher, the suite's tools, the help
// file and one complete language file.
class ProgramFolder
{
public:
    ProgramFolder()
    {
        const QStringList shipped{QStringLiteral("corvane"),
                                  QStringLiteral("corvane.chm"),
                                  QStringLiteral("files_writer.exe"),
                                  QStringLiteral("tunes_writer.exe"),
                                  QStringLiteral("songs_writer.exe"),
                                  QStringLiteral("movie_writer.exe"),
                                  QStringLiteral("image_writer.exe"),
                                  QStringLiteral("disc_ripper.exe"),
                                  QStringLiteral("image_builder.exe"),
                                  QStringLiteral("media_wiper.exe"),
                                  QStringLiteral("media_inspector.exe"),
                                  QStringLiteral("disc_duplicator.exe"),
                                  QStringLiteral("session_extractor.exe"),
                                  QStringLiteral("parallel_writer.exe")};
        for (const QString& name : shipped) {
            QFile file(m_dir.filePath(name));
            m_ok = m_ok && file.open(QIODevice::WriteOnly);
        }
        m_ok = m_ok && m_dir.isValid() &&
               bench::writeLanguageFile(m_dir.filePath(QStringLiteral("english.lng")));
    }

    bool isValid() const { return m_ok; }
    QString path() const { return m_dir.path() + u'/'; }

private:
    QTemporaryDir m_dir;
    bool m_ok = true;
};

ProgramFolder& programFolder()
{
    static ProgramFolder folder;
    return folder;
}

QString noConfigFolder()
{
    return QString(); // nothing is loaded or saved here
}

// The 44 lookups of the main window, in the order the window makes them.
void BM_MainWindowLookups(benchmark::State& state)
{
    if (!programFolder().isValid()) {
        state.SkipWithError("cannot make the program folder");
        return;
    }
    const Translator translator(programFolder().path());
    const QList<MainFormText> lookups = mainFormTexts();
    if (lookups.size() != 44 ||
        !translator.Translate(lookups.last().text).startsWith(QChar(0x00BB))) {
        state.SkipWithError("the language file is not read");
        return;
    }
    for (auto _ : state) {
        for (const MainFormText& entry : lookups) {
            QString text = translator.Translate(entry.text);
            benchmark::DoNotOptimize(text);
        }
    }
    state.counters["lookups"] = static_cast<double>(lookups.size());
}
BENCHMARK(BM_MainWindowLookups)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(0.2)
    ->Repetitions(15)
    ->ReportAggregatesOnly(true);

// One lookup of the text that lies last in the file.
void BM_OneLookup(benchmark::State& state)
{
    const Translator translator(programFolder().path());
    for (auto _ : state) {
        QString text = translator.Translate(texts::ToolRemedy);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_OneLookup)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The two halves of a lookup: finding the language file, and reading one text from it.
void BM_FindLanguageFile(benchmark::State& state)
{
    const QString folder = programFolder().path();
    for (auto _ : state) {
        QStringList names = platform::entriesWithSuffix(folder, u".lng");
        benchmark::DoNotOptimize(names);
    }
}
BENCHMARK(BM_FindLanguageFile)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The same listing through QDir, which the lookup does not use: it would take its place if it
// cost about as much (see the README's "why" of the raw listing).
void BM_FindLanguageFileWithQDir(benchmark::State& state)
{
    const QString folder = programFolder().path();
    for (auto _ : state) {
        QStringList names = QDir(folder, QStringLiteral("*.lng"), QDir::Name | QDir::IgnoreCase,
                                 QDir::AllEntries | QDir::Hidden | QDir::System |
                                     QDir::NoDotAndDotDot)
                                .entryList();
        benchmark::DoNotOptimize(names);
    }
}
BENCHMARK(BM_FindLanguageFileWithQDir)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ReadOneText(benchmark::State& state)
{
    const QString file = programFolder().path() + QStringLiteral("english.lng");
    const QString section = texts::ToolRemedy.section.toString();
    const QString key = texts::ToolRemedy.key.toString();
    const QString fallback = texts::ToolRemedy.defaultText.toString();
    for (auto _ : state) {
        QString text = platform::readProfileString(file, section, key, fallback);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_ReadOneText)
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The window's whole translation step: the lookups and putting the texts on the controls.
void BM_TranslateMainForm(benchmark::State& state)
{
    const Translator translator(programFolder().path());
    const SettingsStore settings(&noConfigFolder);
    Tfrm_Main window(translator, settings);
    for (auto _ : state)
        TranslateMainForm(window, translator, mainFormTexts());
}
BENCHMARK(BM_TranslateMainForm)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Building and destroying the main window (not shown): the work before the first show.
void BM_BuildMainWindow(benchmark::State& state)
{
    const Translator translator(programFolder().path());
    const SettingsStore settings(&noConfigFolder);
    for (auto _ : state) {
        auto window = std::make_unique<Tfrm_Main>(translator, settings);
        benchmark::DoNotOptimize(window.get());
    }
}
BENCHMARK(BM_BuildMainWindow)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
