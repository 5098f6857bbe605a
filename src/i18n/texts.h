#pragma once

// The texts of the language file that the dialogs and messages look up. The main window's
// own are in its catalogue.

#include "i18n/translate.h"

namespace corvane::texts {

// The update prompt.
inline constexpr TextRef UpdateCaption{u"v2.2.3", u"Update", u"Update"};
inline constexpr TextRef DontCheck{u"v3.0", u"DontCheck", u"Don't check for updates"};
inline constexpr TextRef Yes{u"v2.2.3", u"Yes", u"Yes"};
inline constexpr TextRef No{u"v2.2.3", u"No", u"No"};
inline constexpr TextRef Available{u"v2.2.3", u"Available", u"An update is available:"};
inline constexpr TextRef Download{u"v3.0", u"Download",
                                  u"Do you want to visit homepage to download new version?"};

// The About window.
inline constexpr TextRef AboutCaption{u"Welcome Hints", u"About", u"About"};
inline constexpr TextRef Ok{u"Buttons", u"OK", u"OK"};
inline constexpr TextRef Version{u"Welcome About", u"Version", u"Version"};
inline constexpr TextRef Compiled{u"v4.0", u"Compiled", u"Compiled on"};
inline constexpr TextRef Copyright{u"Welcome About", u"Copyright", u"Copyright"};
inline constexpr TextRef Reserved{u"Welcome About", u"Reserved", u"All rights reserved."};

// The main window's two-line warnings: problem, then remedy.
inline constexpr TextRef HelpMissing{u"Trial", u"Chm",
                                     u"The compiled help (.chm) file could not be found."};
inline constexpr TextRef HelpRemedy{
    u"Trial", u"Reinstalled", u"The program must be reinstalled in order to access the help."};
inline constexpr TextRef ToolMissing{u"Trial", u"NotFound",
                                     u"The application file could not be found."};
inline constexpr TextRef ToolRemedy{
    u"Trial", u"Reinstalled1", u"The program must be reinstalled in order to access the file."};
// Warnings whose second line is the file concerned, shown as it is, never translated.
inline constexpr TextRef HelpNotOpened{u"Trial", u"HelpNotOpened",
                                       u"No program could be found to open the help file:"};
inline constexpr TextRef ToolNotStarted{u"Trial", u"NotStarted",
                                        u"The application file could not be started:"};

// What a start says when it cannot run: the running copy does not answer, or the lock file
// that keeps one copy per desktop cannot be used.
inline constexpr TextRef NotResponding{u"Trial", u"NotResponding",
                                       u"Corvane Professional is running but not responding."};
inline constexpr TextRef NoLock{
    u"Trial", u"NoLock", u"Corvane Professional cannot check whether it is already running."};

} // namespace corvane::texts
