#pragma once

// Reading an HTTP/1.x answer, apart from the connection it comes over: the head (status line
// and headers) and the body's framing (a length, chunks, or the connection's end). Everything
// here is bounded and works on the bytes at hand, so hostile input can only end an answer.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <optional>
#include <utility>

namespace corvane::http {

/// Status line and headers of one answer may take this many bytes together.
inline constexpr qsizetype MaxHeadSize = 64 * 1024;

struct ResponseHead
{
    int status = 0;
    QList<std::pair<QByteArray, QByteArray>> headers;

    /// The first value of header `name` (compared without regard to case), empty when absent.
    QByteArray header(QByteArrayView name) const;
};

enum class HeadParse {
    NeedMore, ///< no whole head yet
    Done,     ///< `head` is set; the head took `used` bytes
    Broken    ///< not an HTTP/1.x answer, or over a bound
};

/// Reads the head at the start of `bytes`; blank lines before the status line are passed over.
HeadParse parseHead(QByteArrayView bytes, ResponseHead& head, qsizetype& used);

/// Takes a body out of its framing, piece by piece as the bytes arrive.
class BodyDecoder
{
public:
    /// The decoder the head calls for, or nothing when the head leaves the body's end in
    /// doubt (two different lengths, a length that is no number).
    static std::optional<BodyDecoder> forHead(const ResponseHead& head);

    struct Step
    {
        qsizetype used = 0;     ///< input bytes taken
        qsizetype produced = 0; ///< body bytes written to the output
        bool end = false;       ///< the body is complete, or its framing broke here
    };
    /// Decodes from the start of `input` into `output` (room for `capacity` bytes). Nothing
    /// used, nothing produced and no end means that more input is needed.
    Step decode(QByteArrayView input, char* output, qsizetype capacity);

private:
    enum class Framing { None, Length, Chunked, UntilClose };
    enum class ChunkPart { Size, Data, DataEnd, Trailer, Done };

    explicit BodyDecoder(Framing framing, qint64 length = 0)
        : m_framing(framing)
        , m_remaining(length)
    {}
    Step decodeChunked(QByteArrayView input, char* output, qsizetype capacity);

    Framing m_framing;
    qint64 m_remaining; // of the length, or of the current chunk
    ChunkPart m_chunkPart = ChunkPart::Size;
    int m_trailerLines = 0;
};

} // namespace corvane::http
