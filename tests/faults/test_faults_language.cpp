// The language file changes under the main window while it translates itself: another thread
// keeps putting the file in place, deleting it, and putting a folder of the same name there.
// Window after window is made and shown meanwhile. Nothing crashes, and every text on every
// control is either the file's translation or the built-in default, never anything else.

#include "app/toolcatalog.h"
#include "i18n/mainform.h"
#include "mainwindowfixture.h"

#include <atomic>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

namespace {

QString translated(const TextRef& text)
{
    return u"Ü " + text.key.toString() + u" übersetzt";
}

} // namespace

class TestFaultsLanguage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void fileFlipsWhileWindowsTranslate();
};

void TestFaultsLanguage::fileFlipsWhileWindowsTranslate()
{
    MainWindowFixture f;
    QString language;
    QString section;
    const QList<TextRef> all = allTexts();
    for (const TextRef& text : all) {
        if (text.section != section) {
            section = text.section.toString();
            language += u'[' + section + u"]\r\n";
        }
        language += text.key + u'=' + translated(text) + u"\r\n";
    }
    // Beside the program folder, and put in place as a hard link, so that it always appears
    // whole: only its presence changes.
    QVERIFY(writeFile(f.root.filePath(QStringLiteral("spare")), utf16File(language)));
    const QByteArray spare = QFile::encodeName(f.root.filePath(QStringLiteral("spare")));
    const QByteArray file = QFile::encodeName(f.programFolder + QStringLiteral("de.lng"));

    std::atomic<bool> stop = false;
    std::atomic<long> flips = 0;
    std::thread churn([&] {
        // Each state held for a moment: a lookup takes a few dozen microseconds.
        const auto hold = [] { std::this_thread::sleep_for(std::chrono::microseconds(200)); };
        while (!stop) {
            [[maybe_unused]] const int linked = ::link(spare.constData(), file.constData());
            hold();
            ::unlink(file.constData());
            hold();
            ::mkdir(file.constData(), 0755);
            hold();
            ::rmdir(file.constData());
            ++flips;
        }
    });

    const QList<MainFormText> entries = mainFormTexts();
    int asTranslated = 0;
    int asDefault = 0;
    int mixedWindows = 0;
    for (int round = 0; round < 40; ++round) {
        Tfrm_Main& w = f.show();
        int here = 0;
        for (const MainFormText& entry : entries) {
            const QObject* target = w.findChild<QObject*>(entry.target.toString());
            QVERIFY(target);
            const bool isCaption = entry.kind == MainFormText::Caption;
            const QString shown = isCaption ? caption(target) : hint(target);
            const bool fromFile = shown == translated(entry.text);
            QVERIFY2(fromFile || shown == entry.text.defaultText,
                     qPrintable(entry.target + u": " + shown));
            (fromFile ? asTranslated : asDefault) += 1;
            here += fromFile;
            for (QStringView name : entry.copyTo) {
                if (name.isEmpty())
                    continue;
                const QObject* copy = w.findChild<QObject*>(name.toString());
                QCOMPARE(isCaption ? caption(copy) : hint(copy), shown);
            }
        }
        mixedWindows += here > 0 && here < entries.size();
    }
    stop = true;
    churn.join();
    qInfo("%d texts translated, %d defaults, %d windows with both, %ld flips", asTranslated,
          asDefault, mixedWindows, flips.load());
    // Both outcomes were seen, so the lookups did meet the file, the folder and nothing.
    QVERIFY(asTranslated > 0);
    QVERIFY(asDefault > 0);
}

QTEST_MAIN(TestFaultsLanguage)
#include "test_faults_language.moc"
