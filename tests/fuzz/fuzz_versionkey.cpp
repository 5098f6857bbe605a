// The version comparison of the update check on whatever a server may send. The offered text
// comes straight from the response body, so it may be anything: long, short, binary, with
// line breaks. Newer-than must stay an order: never newer than itself, never both ways, and
// passed on along a chain.
//
// Input: up to three version texts separated by 0xFF. A first byte with its lowest bit set
// reads them as UTF-16LE (any code unit), otherwise as Latin-1 (how the fetcher reads bodies).

#include "fuzzinput.h"
#include "update/versionkey.h"

using namespace corvane;
using namespace corvane::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const bool utf16 = (input.takeByte() & 1) != 0;
    const QString a = decodeText(input.takePart(), utf16);
    const QString b = decodeText(input.takePart(), utf16);
    const QString c = decodeText(input.takePart(), utf16);

    for (const QString* text : {&a, &b, &c}) {
        const std::optional<int> key = versionKey(*text);
        require(!key || (*key >= 0 && *key <= 9999), "key out of range");
        require(!isNewerVersion(*text, *text), "newer than itself");
    }
    require(!(isNewerVersion(a, b) && isNewerVersion(b, a)), "newer both ways");
    if (isNewerVersion(a, b) && isNewerVersion(b, c))
        require(isNewerVersion(a, c), "newer is not passed on");
    // The key of a version as the program writes its own, "5.1", with anything after it that
    // does not land on a component's place.
    if (a.size() >= 7 && versionKey(a))
        require(versionKey(a.first(7)) == versionKey(a), "text after the last place counts");
    return 0;
}
