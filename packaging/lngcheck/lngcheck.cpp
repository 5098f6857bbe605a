// lngcheck: compares a language file with the texts the launcher asks for. Prints each key
// the file lacks ("missing") and each key it holds that the launcher never asks for
// ("unknown"), as "[Section] Key", and exits with 1 when there is any, 2 when the file cannot
// be read.

#include "app/toolcatalog.h"
#include "platform/platform.h"
#include "platform/profileparse.h"

#include <QFile>
#include <QSet>
#include <QTextStream>

namespace {

// Section and key as the launcher compares them: without regard to case.
QString entryKey(QStringView section, QStringView key)
{
    return section.toString().toCaseFolded() + u'\n' + key.toString().toCaseFolded();
}

QString shown(QStringView section, QStringView key)
{
    return u'[' + section.toString() + u"] " + key.toString();
}

} // namespace

int main(int argc, char* argv[])
{
    using namespace corvane;
    QTextStream out(stdout);
    if (argc != 2) {
        out << "usage: lngcheck <language file>\n";
        return 2;
    }
    QFile file(QFile::decodeName(argv[1]));
    if (!file.open(QIODevice::ReadOnly)) {
        out << "cannot read " << file.fileName() << '\n';
        return 2;
    }
    const QString text = platform::decodeText(file.readAll());

    // Every section and key of the file, in file order; only the first section of a name
    // counts, as when the launcher reads it.
    QSet<QString> inFile;
    QList<std::pair<QString, QString>> fileOrder;
    QSet<QString> seenSections;
    QString section;
    bool countingSection = false;
    for (QStringView line : QStringView(text).tokenize(u'\n')) {
        for (QStringView part : line.tokenize(u'\r')) {
            const platform::detail::ProfileLine parsed = platform::detail::parseProfileLine(part);
            if (parsed.kind == platform::detail::ProfileLine::Kind::Header) {
                section = parsed.name.toString();
                countingSection = !seenSections.contains(section.toCaseFolded());
                seenSections.insert(section.toCaseFolded());
            } else if (parsed.kind == platform::detail::ProfileLine::Kind::Entry &&
                       countingSection && !section.isNull()) {
                if (!inFile.contains(entryKey(section, parsed.name)))
                    fileOrder.append({section, parsed.name.toString()});
                inFile.insert(entryKey(section, parsed.name));
            }
        }
    }

    QSet<QString> asked;
    int problems = 0;
    const QList<TextRef> all = allTexts();
    for (const TextRef& entry : all) {
        asked.insert(entryKey(entry.section, entry.key));
        if (!inFile.contains(entryKey(entry.section, entry.key))) {
            out << "missing: " << shown(entry.section, entry.key) << '\n';
            ++problems;
        }
    }
    for (const auto& [fileSection, key] : fileOrder) {
        if (!asked.contains(entryKey(fileSection, key))) {
            out << "unknown: " << shown(fileSection, key) << '\n';
            ++problems;
        }
    }
    out << file.fileName() << ": " << inFile.size() << " keys, " << problems << " problems\n";
    return problems ? 1 : 0;
}
