// The fetcher's text work on a hostile document: the fragment between markers, the image and
// link scans and the resolving of references. The scans remember where they last found each
// marker to stay linear; they must find exactly what a plain search from each position finds.
// What they keep is bounded by the document: references do not overlap, each gains at most the
// base address, and there are at most MaxReferencesPerDocument of them. The fragment must be
// the text between the markers' first occurrences.
//
// Input: a byte of flags (image type in the lowest two bits; 4: the document is UTF-16LE, any
// code unit, rather than Latin-1 as the fetcher reads bodies), then the first, second and end
// markers, the document's address and the link filter, separated by 0xFF, then the document.

#include "fuzzinput.h"
#include "update/webscan.h"

using namespace corvane;
using namespace corvane::fuzz;

namespace {

char16_t upperAscii(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') ? char16_t(u - 32) : u;
}

// A plain search from `from`, ASCII letters without regard to case; the needle is not empty.
qsizetype plainFind(QStringView text, QStringView needle, qsizetype from, bool ignoreCase)
{
    for (qsizetype i = from; i + needle.size() <= text.size(); ++i) {
        qsizetype k = 0;
        while (k < needle.size() && (ignoreCase ? upperAscii(text[i + k]) == upperAscii(needle[k])
                                                : text[i + k] == needle[k]))
            ++k;
        if (k == needle.size())
            return i;
    }
    return -1;
}

bool containsPlain(QStringView text, QStringView needle)
{
    return plainFind(text, needle, 0, true) >= 0;
}

QStringList plainImages(QStringView text, QStringView base, TImageType type)
{
    QStringList images;
    qsizetype t = 0;
    for (qsizetype p = plainFind(text, u"<IMG", t, true);
         p >= 0 && images.size() < MaxReferencesPerDocument;
         p = plainFind(text, u"<IMG", t, true)) {
        t = p + 1;
        const qsizetype s = plainFind(text, u"SRC=\"", t, true);
        if (s < 0)
            continue;
        t = s + 5;
        const qsizetype q = plainFind(text, u"\"", t, false);
        if (q < 0)
            continue;
        const QString reference = resolveReference(text.sliced(t, q - t), base);
        const bool keep = type == itAll || (type == itGIF && containsPlain(reference, u".GIF")) ||
                          (type == itJPG && containsPlain(reference, u".JPG")) ||
                          (type == itPNG && containsPlain(reference, u".PNG"));
        if (keep)
            images.append(reference);
    }
    return images;
}

QStringList plainLinks(QStringView text, QStringView base, QStringView linkType)
{
    QStringList links;
    qsizetype u = 0;
    for (qsizetype p = plainFind(text, u"<A", u, true);
         p >= 0 && links.size() < MaxReferencesPerDocument; p = plainFind(text, u"<A", u, true)) {
        u = p + 1;
        const qsizetype h = plainFind(text, u"HREF=", u, true);
        if (h < 0)
            continue;
        u = h + 5;
        if (u < text.size() && text[u] == u'"')
            ++u;
        const qsizetype q = plainFind(text, u"\"", u, false);
        const qsizetype g = plainFind(text, u">", u, false);
        if (q < 0 || g < 0)
            continue;
        QString reference = text.sliced(u, std::min(q, g) - u).toString();
        if (!reference.contains(u"://"))
            reference = resolveReference(reference, base);
        if (linkType.isEmpty() || containsPlain(reference, linkType))
            links.append(reference);
        u = std::min(q, g);
    }
    return links;
}

std::optional<QString> plainFragment(QStringView text, QStringView first, QStringView from,
                                     QStringView to)
{
    if (first.isEmpty())
        return text.toString();
    if (from.isEmpty() || to.isEmpty())
        return std::nullopt;
    const qsizetype a = plainFind(text, first, 0, false);
    if (a < 0)
        return std::nullopt;
    const qsizetype b = plainFind(text, from, a + first.size(), false);
    if (b < 0)
        return std::nullopt;
    const qsizetype c = plainFind(text, to, b + from.size(), false);
    if (c < 0)
        return std::nullopt;
    return text.sliced(b + from.size(), c - b - from.size()).toString();
}

void requireBounded(const QStringList& references, QStringView text, QStringView base)
{
    qsizetype total = 0;
    for (const QString& reference : references)
        total += reference.size();
    require(references.size() <= MaxReferencesPerDocument, "too many references kept");
    require(total <= text.size() + references.size() * (base.size() + 1),
            "references longer than the document");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const unsigned flags = input.takeByte();
    const auto type = static_cast<TImageType>(flags & 3);
    const bool utf16 = (flags & 4) != 0;
    const QString first = QString::fromLatin1(input.takePart());
    const QString from = QString::fromLatin1(input.takePart());
    const QString to = QString::fromLatin1(input.takePart());
    const QString base = QString::fromLatin1(input.takePart());
    const QString linkType = QString::fromLatin1(input.takePart());
    const QString text = decodeText(input.rest(), utf16);

    require(extractFragment(text, first, from, to) == plainFragment(text, first, from, to),
            "fragment differs from a plain search");
    const QStringList images = scanImages(text, base, type);
    require(images == plainImages(text, base, type), "images differ from a plain search");
    requireBounded(images, text, base);
    const QStringList links = scanHyperLinks(text, base, linkType);
    require(links == plainLinks(text, base, linkType), "links differ from a plain search");
    requireBounded(links, text, base);

    // References as they come: one holding "HTTP:" is kept, anything else ends up after the
    // host part of the base.
    const QString resolved = resolveReference(first, base);
    if (containsPlain(first, u"HTTP:"))
        require(resolved == first, "an absolute reference was changed");
    else
        require(resolved.endsWith(first), "the reference is not at the end");
    return 0;
}
