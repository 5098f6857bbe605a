#pragma once

// Comparing the version text that the maker's server names with the program's own. A version
// text has one digit per component: "5.2", "5.1.1", "5.1.1.0". Its key reads the characters at
// the components' places as one decimal number (5.1 -> 5100); the separators are never looked
// at, so "5x2" counts as 5.2, and a text with a line break after it gives no key when the break
// lands on a component's place.

#include <QStringView>
#include <optional>

namespace corvane {

/// The key of `version`: three characters get ".0.0" appended, five get ".0"; then characters
/// 1, 3, 5 and 7 (counting from 1) read as a four-digit decimal number. No key when the text is
/// still shorter than seven characters or a picked character is not one of '0' to '9'.
std::optional<int> versionKey(QStringView version);

/// True when `offered` names a strictly newer version than `own`. An empty text, or one of the
/// two without a key, is never newer.
bool isNewerVersion(QStringView offered, QStringView own);

} // namespace corvane
