#pragma once

// The launcher's one main window: four rows of tool buttons, the main menu that mirrors them,
// a status bar that describes what is under the pointer, and the life of the program from
// the first show to the close.

#include "settings/settingsstore.h"

#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QMenu;
class QStatusBar;
class QTimer;

namespace corvane {

class Translator;
struct ToolEntry;
class TWebData;
class ToolPictures;

class Tfrm_Main : public QMainWindow
{
    Q_OBJECT
public:
    /// `translator` and `settings` must outlive the window; `pictures`, when given, supplies
    /// the tool pictures while the window is built.
    Tfrm_Main(const Translator& translator, const SettingsStore& settings,
              QWidget* parent = nullptr, ToolPictures* pictures = nullptr);
    ~Tfrm_Main() override;

    /// Starts `fileName` from the program folder with `argument` (none when empty), or tells
    /// the user that it is missing or would not start. Closes the window after a start when
    /// asked to.
    void LaunchTool(const QString& fileName, const QString& argument);

    /// Brings the window up from any state and to the front for a later start that asked for
    /// it, with that start's desktop activation token (empty when it brought none).
    void bringToFront(const QByteArray& token);

    bool autoUpdate() const { return FAutoUpdate; }
    bool autoClose() const { return FAutoClose; }

    /// The update information names a newer version. Called on the fetcher's worker thread:
    /// keeps the body and arms Timer1 on the main thread.
    void UpdateInfoReceived(const QString& body);

    /// The version text of the newest update found, exactly as the server sent it.
    QString availableVersion() const;

    /// The close query: releases the update fetcher and writes the settings. False (with the
    /// error shown) when the settings could not be written.
    bool FormCloseQuery();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildRows(QWidget* client, ToolPictures* pictures);
    void buildMenu();
    void launch(const ToolEntry& tool);
    static void placeCategoryLabel(QLabel* label);
    QAction* addAction(QMenu* menu, const QString& name, const QString& text);
    void FormShow();
    void LoadSettings();
    void setAutoUpdate(bool on);
    void SaveChangedSettings();
    void Settings1Click();
    void Restoredefaultsettings1Click();
    void Help2Click();
    void About1Click();
    void Timer1Timer();
    void startUpdateCheck();

    const Translator& m_translator;
    const SettingsStore& m_settings;
    QStatusBar* sts_Bar = nullptr;
    QTimer* Timer1 = nullptr;
    QAction* Checkforupdates1 = nullptr;
    QAction* CloseMainWindow1 = nullptr;

    QPointer<TWebData> FWebData;
    bool FAutoUpdate = false;
    bool FAutoClose = false;
    bool m_shown = false;
    QString AvailableVersion; ///< written once on the worker, read on the main thread after
};

} // namespace corvane
