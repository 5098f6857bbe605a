#include "update/httpparse.h"

#include <algorithm>
#include <cstring>

namespace corvane::http {

namespace {

constexpr int MaxHeaderLines = 256;
constexpr qsizetype MaxChunkLine = 4096; // a chunk-size line or a trailer line

QByteArrayView withoutCarriageReturn(QByteArrayView line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}

// Where the head ends (just past its blank line), or -1. Bare LF line ends are accepted.
qsizetype headEnd(QByteArrayView bytes)
{
    for (qsizetype i = bytes.indexOf('\n'); i >= 0; i = bytes.indexOf('\n', i + 1)) {
        qsizetype next = i + 1;
        if (next < bytes.size() && bytes[next] == '\r')
            ++next;
        if (next < bytes.size() && bytes[next] == '\n')
            return next + 1;
    }
    return -1;
}

// "HTTP/1.x NNN reason" → NNN, or 0.
int parseStatusLine(QByteArrayView line)
{
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || line[8] != ' ')
        return 0;
    if (line.size() > 12 && line[12] != ' ')
        return 0;
    int status = 0;
    for (qsizetype i = 9; i < 12; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return 0;
        status = status * 10 + (line[i] - '0');
    }
    return status >= 100 ? status : 0;
}

bool parseHeadLines(QByteArrayView head, ResponseHead& result)
{
    result = {};
    qsizetype lineStart = 0;
    bool first = true;
    while (lineStart < head.size()) {
        qsizetype lineEnd = head.indexOf('\n', lineStart);
        if (lineEnd < 0)
            lineEnd = head.size();
        const QByteArrayView line =
            withoutCarriageReturn(head.sliced(lineStart, lineEnd - lineStart));
        lineStart = lineEnd + 1;
        if (first) {
            result.status = parseStatusLine(line);
            if (result.status == 0)
                return false;
            first = false;
            continue;
        }
        if (line.isEmpty())
            break;
        if ((line[0] == ' ' || line[0] == '\t') && !result.headers.isEmpty()) {
            // A folded line continues the header before it.
            result.headers.last().second += ' ' + line.trimmed().toByteArray();
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue; // not a header; a lenient reader passes over it
        if (result.headers.size() == MaxHeaderLines)
            return false;
        result.headers.append({line.first(colon).trimmed().toByteArray(),
                               line.sliced(colon + 1).trimmed().toByteArray()});
    }
    return true;
}

// The next whole line without its line end, and how many bytes it took with its end.
std::optional<std::pair<QByteArrayView, qsizetype>> nextLine(QByteArrayView bytes)
{
    const qsizetype end = bytes.indexOf('\n');
    if (end < 0)
        return std::nullopt;
    return std::pair{withoutCarriageReturn(bytes.first(end)), end + 1};
}

// A chunk size: hex digits, perhaps followed by extensions, which we do not use.
std::optional<qint64> parseChunkSize(QByteArrayView line)
{
    qint64 size = 0;
    qsizetype digits = 0;
    for (const char c : line.trimmed()) {
        const int value = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (value < 0)
            break;
        if (++digits > 15)
            return std::nullopt; // no sane chunk is that long
        size = size * 16 + value;
    }
    return digits > 0 ? std::optional(size) : std::nullopt;
}

} // namespace

QByteArray ResponseHead::header(QByteArrayView name) const
{
    for (const auto& [headerName, value] : headers) {
        if (headerName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HeadParse parseHead(QByteArrayView bytes, ResponseHead& head, qsizetype& used)
{
    qsizetype start = 0;
    while (start < bytes.size() && (bytes[start] == '\r' || bytes[start] == '\n'))
        ++start;
    const QByteArrayView rest = bytes.sliced(start);
    const qsizetype end = headEnd(rest);
    if (end < 0)
        return rest.size() > MaxHeadSize ? HeadParse::Broken : HeadParse::NeedMore;
    if (end > MaxHeadSize || !parseHeadLines(rest.first(end), head))
        return HeadParse::Broken;
    used = start + end;
    return HeadParse::Done;
}

std::optional<BodyDecoder> BodyDecoder::forHead(const ResponseHead& head)
{
    if (head.status == 204 || head.status == 304)
        return BodyDecoder(Framing::None);
    if (const QByteArray coding = head.header("Transfer-Encoding"); !coding.isEmpty()) {
        const QByteArray last = coding.mid(coding.lastIndexOf(',') + 1).trimmed();
        return BodyDecoder(last.compare("chunked", Qt::CaseInsensitive) == 0 ? Framing::Chunked
                                                                             : Framing::UntilClose);
    }
    std::optional<qint64> length;
    for (const auto& [name, value] : head.headers) {
        if (name.compare("Content-Length", Qt::CaseInsensitive) != 0)
            continue;
        bool ok = false;
        const qint64 announced = value.toLongLong(&ok);
        // Two different lengths leave the body's end unknown: refuse the answer.
        if (!ok || announced < 0 || (length && *length != announced))
            return std::nullopt;
        length = announced;
    }
    return length ? BodyDecoder(Framing::Length, *length) : BodyDecoder(Framing::UntilClose);
}

BodyDecoder::Step BodyDecoder::decode(QByteArrayView input, char* output, qsizetype capacity)
{
    Step step;
    switch (m_framing) {
    case Framing::None:
        step.end = true;
        break;
    case Framing::Length:
        step.produced =
            static_cast<qsizetype>(std::min<qint64>({capacity, input.size(), m_remaining}));
        m_remaining -= step.produced;
        step.end = m_remaining == 0;
        break;
    case Framing::UntilClose:
        step.produced = std::min(capacity, input.size());
        break;
    case Framing::Chunked:
        return decodeChunked(input, output, capacity);
    }
    if (step.produced > 0)
        std::memcpy(output, input.data(), static_cast<size_t>(step.produced));
    step.used = step.produced;
    return step;
}

BodyDecoder::Step BodyDecoder::decodeChunked(QByteArrayView input, char* output, qsizetype capacity)
{
    Step step;
    for (;;) {
        const QByteArrayView rest = input.sliced(step.used);
        switch (m_chunkPart) {
        case ChunkPart::Size: {
            const auto line = nextLine(rest);
            if (!line) {
                step.end = rest.size() > MaxChunkLine;
                return step;
            }
            const std::optional<qint64> size = parseChunkSize(line->first);
            if (!size) {
                step.end = true; // broken framing ends the body here
                return step;
            }
            step.used += line->second;
            m_remaining = *size;
            m_chunkPart = *size == 0 ? ChunkPart::Trailer : ChunkPart::Data;
            break;
        }
        case ChunkPart::Data: {
            const auto n =
                static_cast<qsizetype>(std::min<qint64>({capacity, rest.size(), m_remaining}));
            if (n > 0)
                std::memcpy(output, rest.data(), static_cast<size_t>(n));
            step.used += n;
            step.produced = n;
            m_remaining -= n;
            if (m_remaining == 0)
                m_chunkPart = ChunkPart::DataEnd;
            return step;
        }
        case ChunkPart::DataEnd: {
            const auto line = nextLine(rest);
            if (!line || !line->first.isEmpty()) {
                // The data must be followed by its line end and nothing else.
                step.end = line || rest.size() >= 2;
                return step;
            }
            step.used += line->second;
            m_chunkPart = ChunkPart::Size;
            break;
        }
        case ChunkPart::Trailer: {
            const auto line = nextLine(rest);
            if (!line) {
                step.end = rest.size() > MaxChunkLine;
                return step;
            }
            step.used += line->second;
            if (line->first.isEmpty() || ++m_trailerLines > MaxHeaderLines)
                m_chunkPart = ChunkPart::Done;
            break;
        }
        case ChunkPart::Done:
            step.end = true;
            return step;
        }
    }
}

} // namespace corvane::http
