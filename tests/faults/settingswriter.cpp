// Helper of test_faults_kill: writes corvane.ini over and over until it is killed, switching
// between two contents, the way the launcher writes it. Prints "ready" once the first write
// is through, so that the test knows the file is there.
//
//     corvane_settingswriter profile <folder>   one key by the profile writer
//     corvane_settingswriter store <folder>     both preferences by the settings store

#include "platform/platform.h"
#include "settings/settingsstore.h"

#include <QString>

#include <cstdio>
#include <cstring>

using namespace corvane;

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    const bool profile = std::strcmp(argv[1], "profile") == 0;
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QString file = folder + QStringLiteral("/corvane.ini");
    const SettingsStore store([folder] { return folder; });
    // One value much longer than the other, so that a cut file cannot pass for either.
    const QString longValue(300, u'7');
    for (long long round = 0;; ++round) {
        const bool even = round % 2 == 0;
        bool written = false;
        if (profile) {
            written = platform::writeProfileString(file, QStringLiteral("Corvane"),
                                                   QStringLiteral("AutoUpdate"),
                                                   even ? longValue : QStringLiteral("0"));
        } else {
            written = !store.save(Preferences{even, !even}).has_value();
        }
        if (!written)
            return 1;
        if (round == 0) {
            std::puts("ready");
            std::fflush(stdout);
        }
    }
}
