#pragma once

// A complete language file for the benchmarks: every text the launcher looks up
// (allTexts()), grouped by section, UTF-16LE with its byte-order mark and CR LF line ends,
// the way the suite's translators save them. Each value is the English text behind a "»", so
// that a looked-up text can be told from the built-in default.

#include <QString>

namespace corvane::bench {

/// The file's text, before encoding.
QString languageFileText();

/// Writes the file to `path`, replacing it. False when it could not be written.
bool writeLanguageFile(const QString& path);

} // namespace corvane::bench
