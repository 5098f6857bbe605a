#include "update/webscan.h"

namespace corvane {

namespace {

constexpr char16_t foldAscii(char16_t c)
{
    return (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c;
}

/// First position at or after `from` where `needle` occurs in `text`, comparing ASCII letters
/// without regard to case; -1 when there is none. An empty needle is never found.
qsizetype indexOfAsciiCi(QStringView text, QStringView needle, qsizetype from = 0)
{
    if (needle.isEmpty())
        return -1;
    const qsizetype last = text.size() - needle.size();
    const char16_t first = foldAscii(needle.front().unicode());
    for (qsizetype i = from; i <= last; ++i) {
        if (foldAscii(text[i].unicode()) != first)
            continue;
        qsizetype k = 1;
        while (k < needle.size() &&
               foldAscii(text[i + k].unicode()) == foldAscii(needle[k].unicode()))
            ++k;
        if (k == needle.size())
            return i;
    }
    return -1;
}

bool containsAsciiCi(QStringView text, QStringView needle)
{
    return indexOfAsciiCi(text, needle) >= 0;
}

bool isSlash(QChar c)
{
    return c == u'/' || c == u'\\';
}

// The scans look for the first occurrence of the same few needles again and again, each time
// from a later position. Remembering the last answer keeps a scan linear in the text's length
// even for a text made of nothing but "<IMG" or "<A", which would otherwise be quadratic.
class ForwardFinder
{
public:
    ForwardFinder(QStringView text, QStringView needle, bool ignoreCase)
        : m_text(text)
        , m_needle(needle)
        , m_ignoreCase(ignoreCase)
    {}

    /// `from` must not decrease between calls.
    qsizetype next(qsizetype from)
    {
        if (m_searched && (m_found < 0 || m_found >= from))
            return m_found;
        m_found =
            m_ignoreCase ? indexOfAsciiCi(m_text, m_needle, from) : m_text.indexOf(m_needle, from);
        m_searched = true;
        return m_found;
    }

private:
    QStringView m_text;
    QStringView m_needle;
    bool m_ignoreCase;
    bool m_searched = false;
    qsizetype m_found = -1;
};

bool keepImage(QStringView reference, TImageType type)
{
    switch (type) {
    case itAll:
        return true;
    case itGIF:
        return containsAsciiCi(reference, u".GIF");
    case itJPG:
        return containsAsciiCi(reference, u".JPG");
    case itPNG:
        return containsAsciiCi(reference, u".PNG");
    }
    return false;
}

} // namespace

std::optional<QString> extractFragment(QStringView text, QStringView scanFirst,
                                       QStringView scanFrom, QStringView scanTo)
{
    if (scanFirst.isEmpty())
        return text.toString();
    if (scanFrom.isEmpty() || scanTo.isEmpty())
        return std::nullopt;
    qsizetype pos = text.indexOf(scanFirst);
    if (pos < 0)
        return std::nullopt;
    QStringView rest = text.sliced(pos + scanFirst.size());
    pos = rest.indexOf(scanFrom);
    if (pos < 0)
        return std::nullopt;
    rest = rest.sliced(pos + scanFrom.size());
    pos = rest.indexOf(scanTo);
    if (pos < 0)
        return std::nullopt;
    return rest.first(pos).toString();
}

QStringList scanImages(QStringView text, QStringView baseAddress, TImageType type)
{
    QStringList images;
    ForwardFinder tag(text, u"<IMG", true);
    ForwardFinder source(text, u"SRC=\"", true);
    ForwardFinder quote(text, u"\"", false);
    qsizetype t = 0; // the scan's remaining text is text[t..]
    for (qsizetype p = tag.next(t); p >= 0 && images.size() < MaxReferencesPerDocument;
         p = tag.next(t)) {
        t = p + 1;
        const qsizetype s = source.next(t);
        if (s < 0)
            continue;
        t = s + 5;
        const qsizetype q = quote.next(t);
        if (q < 0)
            continue;
        const QString reference = resolveReference(text.sliced(t, q - t), baseAddress);
        if (keepImage(reference, type))
            images.append(reference);
    }
    return images;
}

QStringList scanHyperLinks(QStringView text, QStringView baseAddress, QStringView linkType)
{
    QStringList links;
    ForwardFinder tag(text, u"<A", true);
    ForwardFinder target(text, u"HREF=", true);
    ForwardFinder quote(text, u"\"", false);
    ForwardFinder closing(text, u">", false);
    qsizetype u = 0; // the scan's remaining text is text[u..]
    for (qsizetype p = tag.next(u); p >= 0 && links.size() < MaxReferencesPerDocument;
         p = tag.next(u)) {
        u = p + 1;
        const qsizetype h = target.next(u);
        if (h < 0)
            continue;
        u = h + 5;
        if (u < text.size() && text[u] == u'"')
            ++u;
        const qsizetype q = quote.next(u);
        const qsizetype g = closing.next(u);
        if (q < 0 || g < 0)
            continue;
        const qsizetype end = std::min(q, g);
        QString reference = text.sliced(u, end - u).toString();
        if (!reference.contains(u"://"))
            reference = resolveReference(reference, baseAddress);
        if (linkType.isEmpty() || containsAsciiCi(reference, linkType))
            links.append(reference);
        // The next tag is looked for after this reference, not inside it: resuming at the
        // tag's "<" copied the same text again for every "<A" it held.
        u = end;
    }
    return links;
}

QString resolveReference(QStringView reference, QStringView base)
{
    QString host;
    if (base.size() >= 7 && indexOfAsciiCi(base.first(7), u"HTTP://") == 0) {
        host = QStringLiteral("HTTP://");
        base = base.sliced(7);
    }
    qsizetype hostEnd = 0;
    while (hostEnd < base.size() && !isSlash(base[hostEnd]))
        ++hostEnd;
    host += base.first(hostEnd);
    base = base.sliced(hostEnd);

    if (containsAsciiCi(reference, u"HTTP:"))
        return reference.toString();
    if (!reference.isEmpty() && isSlash(reference.front()))
        return host + reference;
    while (!base.isEmpty() && !isSlash(base.back()))
        base.chop(1);
    if (base.isEmpty())
        return host + u'/' + reference;
    return host + base + reference;
}

} // namespace corvane
