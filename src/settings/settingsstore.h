#pragma once

// The two user preferences and their file, corvane.ini in the user's configuration folder.
// The path is built anew for every read, write and restore; no file stays open.

#include <QString>
#include <functional>
#include <optional>

namespace corvane {

struct Preferences
{
    bool autoUpdate = true; ///< check for a newer version when the program starts
    bool autoClose = false; ///< close the main window after a tool has been started

    friend bool operator==(const Preferences&, const Preferences&) = default;
};

class SettingsStore
{
public:
    /// Yields the configuration folder (no trailing '/'); asked on every use.
    using FolderSource = std::function<QString()>;

    explicit SettingsStore(FolderSource configFolder);

    /// Reads both preferences; whatever cannot be read yields its default.
    Preferences load() const;

    /// Writes "AutoUpdate", then "AutoClose". Creates a missing configuration folder (0700).
    /// On failure returns "Unable to write to <path>" and stops at the failing key.
    [[nodiscard]] std::optional<QString> save(const Preferences& preferences) const;

    /// Deletes the file (a link to a folder is removed as a link); every failure is ignored.
    /// Returns the defaults.
    Preferences restoreDefaults() const;

private:
    QString configFolder() const;

    FolderSource m_configFolder;
};

} // namespace corvane
