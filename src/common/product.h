#pragma once

#include <QDate>
#include <QString>
#include <QUrl>

// The build constants that several windows share.
namespace corvane {

inline const QString ProductTitle = QStringLiteral("Corvane Professional");
inline const QString ProductVersion = QStringLiteral("5.1");
inline const QDate BuildDate{2012, 8, 6};

// Title of the warning message boxes.
inline const QString MessageTitle = QStringLiteral("Corvane");

/// The maker's home page, fixed at build time (CORVANE_HOMEPAGE).
QUrl homePage();
/// Where the update check finds the newest version: "update.ini" below the home page.
QUrl updateInfoAddress();

} // namespace corvane
