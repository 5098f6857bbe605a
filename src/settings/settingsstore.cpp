#include "settings/settingsstore.h"

#include "platform/platform.h"

namespace corvane {

namespace {

const QString kSection = QStringLiteral("Corvane");
const QString kAutoUpdate = QStringLiteral("AutoUpdate");
const QString kAutoClose = QStringLiteral("AutoClose");

int digitValue(char16_t c) noexcept
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// An integer of the settings file: decimal, or hexadecimal after "0x", "0X" or "$", with an
// optional sign, in 32 bits (hexadecimal up to FFFFFFFF). Anything else, including a number out
// of that range, is no integer.
std::optional<qint64> parseInteger(QStringView text) noexcept
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == u'0' &&
               (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size())
        return std::nullopt;

    const qint64 limit = base == 16 ? 0xFFFFFFFFLL : (negative ? 0x80000000LL : 0x7FFFFFFFLL);
    qint64 magnitude = 0;
    for (; i < text.size(); ++i) {
        const int digit = digitValue(text[i].unicode());
        if (digit < 0 || digit >= base)
            return std::nullopt;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return std::nullopt;
    }
    return negative ? -magnitude : magnitude;
}

bool readFlag(const QString& file, const QString& key, bool defaultValue)
{
    const QString text = platform::readProfileString(file, kSection, key, QString());
    const std::optional<qint64> number = parseInteger(text);
    return number ? *number != 0 : defaultValue;
}

QString flagText(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

QString fileIn(const QString& folder)
{
    return folder + u"/corvane.ini";
}

} // namespace

SettingsStore::SettingsStore(FolderSource configFolder)
    : m_configFolder(std::move(configFolder))
{}

// An empty folder means the configuration folder could not be found; nothing is then read,
// written or removed (the path would otherwise name a file in the root folder).
QString SettingsStore::configFolder() const
{
    return m_configFolder ? m_configFolder() : QString();
}

Preferences SettingsStore::load() const
{
    const QString folder = configFolder();
    Preferences preferences;
    if (folder.isEmpty())
        return preferences;
    preferences.autoUpdate = readFlag(fileIn(folder), kAutoUpdate, preferences.autoUpdate);
    preferences.autoClose = readFlag(fileIn(folder), kAutoClose, preferences.autoClose);
    return preferences;
}

std::optional<QString> SettingsStore::save(const Preferences& preferences) const
{
    const QString folder = configFolder();
    const QString path = fileIn(folder);
    const QString failure = u"Unable to write to " + path;

    // The XDG rules ask for a missing configuration folder to be made, private; a fresh
    // account has none. The profile writer itself never makes a folder.
    if (folder.isEmpty() || !platform::makeFolder(folder))
        return failure;
    if (!platform::writeProfileString(path, kSection, kAutoUpdate,
                                      flagText(preferences.autoUpdate)))
        return failure;
    if (!platform::writeProfileString(path, kSection, kAutoClose, flagText(preferences.autoClose)))
        return failure;
    return std::nullopt;
}

Preferences SettingsStore::restoreDefaults() const
{
    if (const QString folder = configFolder(); !folder.isEmpty())
        platform::removeFile(fileIn(folder));
    return {};
}

} // namespace corvane
