#pragma once

// The profile format read the plainest way, as a second opinion for the fuzz targets: the text
// is split into lines first and every line is looked at in full, where the reader proper scans
// the text once and skips what cannot matter. Slow and simple on purpose.

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

namespace corvane::fuzz {

inline bool isBlank(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x09 && u <= 0x0D) || u == 0x1A || u == 0x20;
}

inline QString blankTrimmed(QStringView text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.sliced(begin, end - begin).toString();
}

inline bool sameName(QStringView a, QStringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

/// Lines end at CR LF, LF or a lone CR.
inline QList<QStringView> splitLines(QStringView text)
{
    QList<QStringView> lines;
    qsizetype begin = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\n' && text[i] != u'\r')
            continue;
        lines.append(text.sliced(begin, i - begin));
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        begin = i + 1;
    }
    if (begin < text.size())
        lines.append(text.sliced(begin));
    return lines;
}

/// The header's name when the trimmed line is "[name]" (up to its last ']').
inline std::optional<QString> headerName(const QString& line)
{
    if (!line.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = line.lastIndexOf(u']');
    if (close <= 0)
        return std::nullopt;
    return blankTrimmed(QStringView(line).sliced(1, close - 1));
}

/// A value as the reader hands it out: one pair of outer quotes off, at most 2047 units, and
/// no half of a surrogate pair at the cut.
inline QString valueAsRead(QStringView value)
{
    QString shown = blankTrimmed(value);
    if (shown.size() >= 2 && (shown.front() == u'"' || shown.front() == u'\'') &&
        shown.back() == shown.front())
        shown = shown.mid(1, shown.size() - 2);
    if (shown.size() > 2047) {
        shown.truncate(2047);
        if (shown.back().isHighSurrogate())
            shown.chop(1);
    }
    return shown;
}

inline std::optional<QString> modelLookup(QStringView text, QStringView section, QStringView key)
{
    const QString wantedSection = blankTrimmed(section);
    const QString wantedKey = blankTrimmed(key);
    bool inSection = false;
    const QList<QStringView> lines = splitLines(text);
    for (QStringView raw : lines) {
        const QString line = blankTrimmed(raw);
        if (line.isEmpty())
            continue;
        if (const std::optional<QString> name = headerName(line)) {
            if (inSection)
                return std::nullopt; // only the first section of the name counts
            inSection = sameName(*name, wantedSection);
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        const QString name = equals < 0 ? line : blankTrimmed(QStringView(line).first(equals));
        if (!sameName(name, wantedKey))
            continue;
        if (equals < 0)
            return std::nullopt;
        return valueAsRead(QStringView(line).sliced(equals + 1));
    }
    return std::nullopt;
}

/// The (section, key) pairs the text names, in order, at most `limit` of them.
inline QList<std::pair<QString, QString>> namedEntries(QStringView text, qsizetype limit)
{
    QList<std::pair<QString, QString>> entries;
    QString section;
    const QList<QStringView> lines = splitLines(text);
    for (QStringView raw : lines) {
        if (entries.size() >= limit)
            break;
        const QString line = blankTrimmed(raw);
        if (line.isEmpty())
            continue;
        if (const std::optional<QString> name = headerName(line)) {
            section = *name;
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        entries.append(
            {section, equals < 0 ? line : blankTrimmed(QStringView(line).first(equals))});
    }
    return entries;
}

} // namespace corvane::fuzz
