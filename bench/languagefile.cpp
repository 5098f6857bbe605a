// A complete language file for the benchmarks; see languagefile.h.

#include "languagefile.h"

#include "app/toolcatalog.h"
#include "testfiles.h"

#include <QList>

namespace corvane::bench {

QString languageFileText()
{
    struct Section
    {
        QString name;
        QList<std::pair<QString, QString>> entries;
    };
    QList<Section> sections;
    const QList<TextRef> all = allTexts();
    for (const TextRef& text : all) {
        Section* section = nullptr;
        for (Section& candidate : sections) {
            if (candidate.name == text.section)
                section = &candidate;
        }
        if (!section) {
            sections.append({text.section.toString(), {}});
            section = &sections.last();
        }
        bool known = false;
        for (const auto& entry : section->entries)
            known = known || entry.first == text.key;
        if (!known)
            section->entries.append(
                {text.key.toString(), QChar(0x00BB) + text.defaultText.toString()});
    }

    QString out;
    for (const Section& section : sections) {
        out += u'[' + section.name + u"]\r\n";
        for (const auto& [key, value] : section.entries)
            out += key + u'=' + value + u"\r\n";
        out += u"\r\n";
    }
    return out;
}

bool writeLanguageFile(const QString& path)
{
    return test::writeFile(path, test::utf16File(languageFileText()));
}

} // namespace corvane::bench
