#include "platform/profileparse.h"

#include "platform/textcodec.h"

namespace corvane::platform::detail {

namespace {

bool sameName(QStringView a, QStringView b) noexcept
{
    return a.compare(b, Qt::CaseInsensitive) == 0; // Qt folds case for this
}

QStringView unquoteAndCut(QStringView value) noexcept
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            value = value.sliced(1, value.size() - 2);
    }
    if (value.size() > kProfileValueLimit) {
        value.truncate(kProfileValueLimit);
        if (value.back().isHighSurrogate())
            value.chop(1); // half a character is no text
    }
    return value;
}

char16_t unitAt(QStringView text, qsizetype i) noexcept
{
    return text[i].unicode();
}

char16_t unitAt(QByteArrayView bytes, qsizetype i) noexcept
{
    return static_cast<unsigned char>(bytes[i]);
}

enum class LineEnd { Lf, CrLf, Cr };

// The style of the file's first line end; a file without any gets LF, as new files do.
template <typename View> LineEnd lineEndStyle(View text) noexcept
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = unitAt(text, i);
        if (c == u'\n')
            return LineEnd::Lf;
        if (c == u'\r')
            return (i + 1 < text.size() && unitAt(text, i + 1) == u'\n') ? LineEnd::CrLf
                                                                         : LineEnd::Cr;
    }
    return LineEnd::Lf;
}

QStringView lineEndText(LineEnd style) noexcept
{
    switch (style) {
    case LineEnd::CrLf:
        return u"\r\n";
    case LineEnd::Cr:
        return u"\r";
    case LineEnd::Lf:
        break;
    }
    return u"\n";
}

// The edit on the file's code units (bytes of an 8-bit file, UTF-16 units of a UTF-16 file).
// `decodeLine` turns one line's units into text for the comparisons; `encode` turns new text
// into units. Only the changed or inserted line is made from text: every other unit is copied,
// so bytes that the code page cannot map survive a write untouched. Blanks and '=' are ASCII in
// every supported encoding and never occur inside a multi-byte character, so the key's units
// can be found on the units directly.
template <typename View, typename Out, typename DecodeLine, typename Encode>
Out editUnits(View body, QStringView section, QStringView key, QStringView value,
              DecodeLine decodeLine, Encode encode)
{
    const qsizetype size = body.size();
    const QStringView lineEnd = lineEndText(lineEndStyle(body));

    bool inSection = false;
    bool sectionFound = false;
    qsizetype insertAt = 0;      // after the header or the section's last key line
    bool insertNeedsEnd = false; // that line is the last one and has no line end
    qsizetype keyLineBegin = -1;
    qsizetype keyLineEnd = -1;

    for (qsizetype pos = 0; pos < size;) {
        qsizetype eol = pos;
        while (eol < size && unitAt(body, eol) != u'\n' && unitAt(body, eol) != u'\r')
            ++eol;
        qsizetype next = eol;
        if (next < size)
            next +=
                (unitAt(body, next) == u'\r' && next + 1 < size && unitAt(body, next + 1) == u'\n')
                    ? 2
                    : 1;

        if (!inSection) {
            // Outside the section only a header can matter; skip the rest undecoded. A line
            // that starts with a non-ASCII unit is decoded all the same: some code pages read
            // such a byte as a blank (0x1A), and then a header may follow it.
            qsizetype first = pos;
            while (first < eol && isProfileBlank(unitAt(body, first)))
                ++first;
            if (first == eol || (unitAt(body, first) != u'[' && unitAt(body, first) < 0x80)) {
                pos = next;
                continue;
            }
        }

        const auto decoded = decodeLine(body.sliced(pos, eol - pos));
        const ProfileLine line = parseProfileLine(decoded);
        if (line.kind == ProfileLine::Kind::Header) {
            if (inSection)
                break; // the first section of the name ends here
            if (sameName(line.name, section)) {
                inSection = sectionFound = true;
                insertAt = next;
                insertNeedsEnd = next == eol;
            }
        } else if (line.kind == ProfileLine::Kind::Entry && inSection) {
            if (sameName(line.name, key)) {
                keyLineBegin = pos;
                keyLineEnd = eol;
                break;
            }
            insertAt = next;
            insertNeedsEnd = next == eol;
        }
        pos = next;
    }

    Out out;
    if (keyLineBegin >= 0) {
        // The line becomes key=value, the key keeping its spelling and the line its line end.
        qsizetype keyBegin = keyLineBegin;
        while (keyBegin < keyLineEnd && isProfileBlank(unitAt(body, keyBegin)))
            ++keyBegin;
        qsizetype keyEnd = keyBegin;
        while (keyEnd < keyLineEnd && unitAt(body, keyEnd) != u'=')
            ++keyEnd;
        while (keyEnd > keyBegin && isProfileBlank(unitAt(body, keyEnd - 1)))
            --keyEnd;
        const Out assignment = encode(QString(u'=' + value));
        out.reserve(size + assignment.size());
        out.append(body.first(keyLineBegin));
        out.append(body.sliced(keyBegin, keyEnd - keyBegin));
        out.append(assignment);
        out.append(body.sliced(keyLineEnd));
    } else if (sectionFound) {
        const Out line = encode(
            QString((insertNeedsEnd ? lineEnd : QStringView()) % key % u'=' % value % lineEnd));
        out.reserve(size + line.size());
        out.append(body.first(insertAt));
        out.append(line);
        out.append(body.sliced(insertAt));
    } else {
        const bool endsInLineEnd =
            size == 0 || unitAt(body, size - 1) == u'\n' || unitAt(body, size - 1) == u'\r';
        const Out lines = encode(QString((endsInLineEnd ? QStringView() : lineEnd) % u'[' %
                                         section % u']' % lineEnd % key % u'=' % value % lineEnd));
        out.reserve(size + lines.size());
        out.append(body);
        out.append(lines);
    }
    return out;
}

} // namespace

QStringView trimProfile(QStringView text) noexcept
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isProfileBlank(text[begin].unicode()))
        ++begin;
    while (end > begin && isProfileBlank(text[end - 1].unicode()))
        --end;
    return text.sliced(begin, end - begin);
}

ProfileLine parseProfileLine(QStringView line) noexcept
{
    line = trimProfile(line);
    if (line.isEmpty())
        return {};
    if (line.front() == u'[') {
        const qsizetype close = line.lastIndexOf(u']');
        if (close > 0)
            return {ProfileLine::Kind::Header, trimProfile(line.sliced(1, close - 1)), {}, false};
    }
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0)
        return {ProfileLine::Kind::Entry, line, {}, false};
    return {ProfileLine::Kind::Entry, trimProfile(line.first(equals)),
            trimProfile(line.sliced(equals + 1)), true};
}

std::optional<QStringView> findProfileValue(QStringView text, QStringView section,
                                            QStringView key) noexcept
{
    section = trimProfile(section);
    key = trimProfile(key);

    // One pass over the text that stops at the end of the first section of the name. Lines
    // outside it are only looked at far enough to tell a header from the rest.
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    bool inSection = false;
    while (p < end) {
        const char16_t* eol = p;
        while (eol < end && *eol != u'\n' && *eol != u'\r')
            ++eol;
        const QStringView rawLine(p, eol);
        p = eol;
        if (p < end)
            p += (*p == u'\r' && p + 1 < end && p[1] == u'\n') ? 2 : 1;

        if (!inSection) {
            const char16_t* first = rawLine.utf16();
            while (first < eol && isProfileBlank(*first))
                ++first;
            if (first == eol || *first != u'[')
                continue;
        }
        const ProfileLine line = parseProfileLine(rawLine);
        if (line.kind == ProfileLine::Kind::Header) {
            if (inSection)
                return std::nullopt;
            inSection = sameName(line.name, section);
        } else if (line.kind == ProfileLine::Kind::Entry && inSection && sameName(line.name, key)) {
            if (!line.hasValue)
                return std::nullopt;
            return unquoteAndCut(line.value);
        }
    }
    return std::nullopt;
}

bool isWritableProfileEntry(QStringView section, QStringView key, QStringView value) noexcept
{
    const auto hasLineBreak = [](QStringView text) {
        return text.contains(u'\n') || text.contains(u'\r');
    };
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value))
        return false;
    const QStringView name = trimProfile(key);
    return !name.isEmpty() && !name.contains(u'=') && name.front() != u'[';
}

QByteArray editProfile(std::optional<QByteArrayView> old, QStringView section, QStringView key,
                       QStringView value, int codePage)
{
    section = trimProfile(section);
    key = trimProfile(key);

    if (!old) {
        // A new file: UTF-8 without mark, LF line ends.
        return QString(u'[' % section % u"]\n" % key % u'=' % value % u'\n').toUtf8();
    }

    const TextLayout layout = detectEncoding(*old);
    const QByteArrayView mark = old->first(layout.markSize);
    const QByteArrayView body = old->sliced(layout.markSize);
    QByteArray result(mark.data(), mark.size());

    switch (layout.encoding) {
    case TextEncoding::Utf16LE: {
        // Code units map one to one to byte pairs, so editing the decoded text and encoding
        // it again gives back every untouched byte. An odd last byte stays last.
        const QString text = decodeUtf16LE(body);
        const QString edited = editUnits<QStringView, QString>(
            text, section, key, value, [](QStringView line) { return line; },
            [](const QString& added) { return added; });
        result.append(encodeUtf16LE(edited));
        result.append(body.sliced(text.size() * 2));
        return result;
    }
    case TextEncoding::Utf8:
        result.append(editUnits<QByteArrayView, QByteArray>(
            body, section, key, value, [](QByteArrayView line) { return QString::fromUtf8(line); },
            [](const QString& added) { return added.toUtf8(); }));
        return result;
    case TextEncoding::CodePage:
        break;
    }
    CodePageCodec codec(codePage);
    result.append(editUnits<QByteArrayView, QByteArray>(
        body, section, key, value, [&codec](QByteArrayView line) { return codec.decode(line); },
        [&codec](const QString& added) { return codec.encode(added); }));
    return result;
}

} // namespace corvane::platform::detail
