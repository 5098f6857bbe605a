// The fetcher's reading of an HTTP answer, on whatever a server or proxy may send: the head
// and the body's framing. The bytes arrive in pieces of any size, as over a connection, and
// that must not change what is read: the same head, and the same body as when everything is
// there at once. A body never grows beyond the bytes that carried it, and reading always ends.
//
// Input: one byte for the piece size (1 to 64), then the answer as sent.

#include "fuzzinput.h"
#include "update/httpparse.h"

#include <optional>

using namespace corvane::fuzz;
using namespace corvane::http;

namespace {

struct Reading
{
    HeadParse outcome = HeadParse::NeedMore;
    qsizetype used = 0;
    ResponseHead head;
};

// The head as a reader sees it while the answer arrives `piece` bytes at a time.
Reading readHead(QByteArrayView answer, qsizetype piece)
{
    Reading reading;
    for (qsizetype have = std::min(piece, answer.size());;
         have = std::min(have + piece, answer.size())) {
        reading.outcome = parseHead(answer.first(have), reading.head, reading.used);
        if (reading.outcome != HeadParse::NeedMore || have == answer.size())
            return reading;
    }
}

// The body of `bytes` after its head, revealed `piece` bytes at a time (all at once for 0).
QByteArray readBody(BodyDecoder decoder, QByteArrayView bytes, qsizetype piece)
{
    QByteArray body;
    char block[4096];
    qsizetype taken = 0;
    qsizetype revealed = piece > 0 ? std::min(piece, bytes.size()) : bytes.size();
    for (int round = 0;; ++round) {
        require(round < 4 * 1024 * 1024, "the body reading does not end");
        const BodyDecoder::Step step =
            decoder.decode(bytes.sliced(taken, revealed - taken), block, sizeof block);
        require(step.used >= 0 && step.used <= revealed - taken, "more used than there was");
        require(step.produced >= 0 && step.produced <= qsizetype(sizeof block),
                "more produced than there was room for");
        taken += step.used;
        body.append(block, step.produced);
        if (step.end)
            break;
        if (step.used == 0 && step.produced == 0) {
            if (revealed == bytes.size())
                break; // the connection ends, and the body with it
            revealed = std::min(revealed + piece, bytes.size());
        }
    }
    require(body.size() <= bytes.size(), "the body is larger than what carried it");
    return body;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const qsizetype piece = 1 + static_cast<qsizetype>(input.takeByte() % 64);
    const QByteArrayView answer = input.rest();

    const Reading whole = readHead(answer, answer.size());
    const Reading pieces = readHead(answer, piece);
    require(whole.outcome == pieces.outcome, "pieces change whether the head reads");
    if (whole.outcome != HeadParse::Done)
        return 0;
    require(whole.used == pieces.used && whole.head.status == pieces.head.status &&
                whole.head.headers == pieces.head.headers,
            "pieces change the head");
    require(whole.used <= answer.size() && whole.head.status >= 100 && whole.head.status <= 999,
            "impossible head");

    const std::optional<BodyDecoder> decoder = BodyDecoder::forHead(whole.head);
    if (!decoder)
        return 0;
    const QByteArrayView rest = answer.sliced(whole.used);
    require(readBody(*decoder, rest, 0) == readBody(*decoder, rest, piece),
            "pieces change the body");
    return 0;
}
