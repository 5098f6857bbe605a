#include "i18n/translate.h"

#include "platform/platform.h"

namespace corvane {

Translator::Translator(QString programFolder)
    : m_programFolder(std::move(programFolder))
{
    if (!m_programFolder.endsWith(u'/'))
        m_programFolder += u'/';
}

QString Translator::Translate(const QString& section, const QString& key,
                              const QString& defaultText) const
{
    // Only the first candidate counts, also when it cannot be read: a folder named "x.lng"
    // first in line means every text is its default.
    const QStringList candidates = platform::entriesWithSuffix(m_programFolder, u".lng");
    if (candidates.isEmpty())
        return defaultText;
    return platform::readProfileString(m_programFolder + candidates.first(), section, key,
                                       defaultText);
}

} // namespace corvane
