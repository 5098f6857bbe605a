#pragma once

// Localisation: every text the launcher shows is looked up at the moment it is needed in the
// first "*.lng" file of the program folder, with the built-in English text as default.
// Nothing is cached: each lookup searches the folder and reads the file again, so a language
// file replaced while the program runs is used from the next lookup on.

#include <QString>

namespace corvane {

/// A text of the language file: its section and key, and the built-in English default.
struct TextRef
{
    QStringView section;
    QStringView key;
    QStringView defaultText;
};

class Translator
{
public:
    /// `programFolder` is the folder searched for "*.lng"; kept with a trailing '/'.
    explicit Translator(QString programFolder);

    /// The text of `key` in `section` of the language file, or `defaultText` when there is no
    /// language file, it cannot be read, or it lacks the section or key. An empty value gives
    /// an empty text. Never fails. Safe on any thread (it keeps no state).
    QString Translate(const QString& section, const QString& key, const QString& defaultText) const;

    QString Translate(const TextRef& text) const
    {
        return Translate(text.section.toString(), text.key.toString(), text.defaultText.toString());
    }

    const QString& programFolder() const { return m_programFolder; }

private:
    QString m_programFolder;
};

} // namespace corvane
