#pragma once

// The text work of the web document fetcher: cutting a fragment out of a document between
// marker texts, gathering image sources and link targets, and resolving a reference against
// the document's address. Plain functions without state; safe on any thread.
//
// The scans are deliberately naive about HTML, and callers rely on that: the attribute is
// searched in the whole rest of the text after a tag's "<" (not only inside the tag), single
// quotes are not taken, and "<A" matches every tag that begins with an A. Tag and attribute
// names, file types and the link filter are compared ignoring the case of ASCII letters only.
//
// The references taken from one document never overlap, so their text together is never longer
// than the document.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace corvane {

/// Which images the image scan keeps.
enum TImageType { itAll = 0, itGIF = 1, itJPG = 2, itPNG = 3 };

/// Each scan keeps at most this many references of one document: every kept reference gains
/// the base address in front, so tiny ones would otherwise cost many times the document's size.
inline constexpr qsizetype MaxReferencesPerDocument = 10'000;

/// Cuts the data out of `text`. An empty `scanFirst` yields the whole text. Otherwise the text
/// is dropped through the first `scanFirst`, then through the first `scanFrom` after it, and the
/// result is what precedes the first `scanTo` after that. Markers are compared exactly; when
/// one is missing, or `scanFrom` or `scanTo` is empty, there is no result.
std::optional<QString> extractFragment(QStringView text, QStringView scanFirst,
                                       QStringView scanFrom, QStringView scanTo);

/// The sources of the image tags of `text` (double-quoted SRC= only), resolved against
/// `baseAddress` and filtered by `type`, in order of discovery, duplicates kept; the first
/// MaxReferencesPerDocument of them.
QStringList scanImages(QStringView text, QStringView baseAddress, TImageType type);

/// The link targets (HREF=) of the "<A..." tags of `text`. A target without "://" is resolved
/// against `baseAddress`. With a non-empty `linkType` only targets containing it are kept;
/// the first MaxReferencesPerDocument of them.
QStringList scanHyperLinks(QStringView text, QStringView baseAddress, QStringView linkType);

/// Resolves `reference` against `base`, by plain text work: an http base gives the host part in
/// the form "HTTP://host"; a reference containing "HTTP:" is kept; one starting with a slash
/// or backslash is put after the host; any other after the base's folder.
QString resolveReference(QStringView reference, QStringView base);

} // namespace corvane
