// The profile reader on hostile bytes, as the lookup reads a language file: the bytes are
// decoded (mark, UTF-8 check, code page) and then searched for texts the launcher asks for and
// for names taken from the file itself. Every answer must agree with the plain reading of the
// format in profilemodel.h and must be a piece of the decoded text within the length limit.
//
// Input: one byte choosing the code page for 8-bit files, then the file's bytes.

#include "app/toolcatalog.h"
#include "fuzzinput.h"
#include "i18n/texts.h"
#include "platform/profileparse.h"
#include "platform/textcodec.h"
#include "profilemodel.h"

#include <array>

using namespace corvane;
using namespace corvane::fuzz;

namespace {

constexpr std::array kCodePages{1252, 1250, 1251, 1253, 1254, 1255, 1256,
                                1257, 1258, 874,  932,  936,  949,  950};

void lookUp(QStringView text, QStringView section, QStringView key)
{
    const std::optional<QStringView> found = platform::detail::findProfileValue(text, section, key);
    const std::optional<QString> expected = modelLookup(text, section, key);
    require(found.has_value() == expected.has_value(), "found where the plain reading is not");
    if (!found)
        return;
    require(*found == *expected, "value differs from the plain reading");
    require(found->size() <= platform::detail::kProfileValueLimit, "value over the limit");
    require(found->isEmpty() || (found->utf16() >= text.utf16() &&
                                 found->utf16() + found->size() <= text.utf16() + text.size()),
            "value outside the text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput input(data, size);
    const int codePage = kCodePages[input.takeByte() % kCodePages.size()];
    const QString text = platform::detail::decodeText(input.rest(), codePage);

    // A few of the launcher's own texts: the first of the main window, an About text and the
    // warnings (sections with blanks and with digits).
    static const QList<TextRef> asked = [] {
        const QList<TextRef> all = allTexts();
        return QList<TextRef>{all.first(), texts::Version, texts::UpdateCaption,
                              texts::ToolMissing};
    }();
    for (const TextRef& ref : asked)
        lookUp(text, ref.section, ref.key);

    // Names the file holds, as written and in other case and with blanks around them.
    const QList<std::pair<QString, QString>> entries = namedEntries(text, 8);
    for (const auto& [section, key] : entries) {
        lookUp(text, section, key);
        lookUp(text, section.toUpper(), QString(u' ' + key.toLower() + u'\t'));
    }
    return 0;
}
