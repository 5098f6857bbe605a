#pragma once

// The launcher's two-line warnings: what went wrong, and on a second line what to do about it
// or the file concerned, in one warning box with the short product name as its title.

class QString;
class QWidget;

namespace corvane {

class Translator;
struct TextRef;

/// A modal warning box owned by `owner` showing `problem` and, on a second line,
/// `secondLine`, both as they are.
void showTwoLineWarning(QWidget* owner, const QString& problem, const QString& secondLine);

/// The same with `problem` and `remedy` looked up at this moment, the problem first.
void showTwoLineWarning(QWidget* owner, const Translator& translator, const TextRef& problem,
                        const TextRef& remedy);

} // namespace corvane
