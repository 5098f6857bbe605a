#pragma once

// A main window over a temporary program folder and configuration folder.

#include "app/mainwindow.h"
#include "app/toolpictures.h"
#include "i18n/translate.h"
#include "modalwindows.h"
#include "settings/settingsstore.h"
#include "testfiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <memory>

namespace corvane::test {

struct MainWindowFixture
{
    QTemporaryDir root;
    QString programFolder; ///< ends in '/', has a blank and a non-ASCII letter
    QString configFolder;
    std::unique_ptr<Translator> translator;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<ToolPictures> pictures; // as the launcher builds its window
    std::unique_ptr<Tfrm_Main> window;

    /// `settingsText` becomes corvane.ini; by default the update check is off so that no
    /// test reaches for the network.
    explicit MainWindowFixture(const QByteArray& settingsText = "[Corvane]\nAutoUpdate=0\n")
    {
        // Should a test switch the update check on, it must not leave the machine: the
        // system proxy points at a closed local port.
        qputenv("http_proxy", "http://127.0.0.1:1");
        qputenv("no_proxy", "");
        programFolder = root.path() + QStringLiteral("/Program Files ü/");
        configFolder = root.path() + QStringLiteral("/config");
        QDir().mkpath(programFolder);
        QDir().mkpath(configFolder);
        if (!settingsText.isNull())
            QVERIFY(writeFile(configFolder + QStringLiteral("/corvane.ini"), settingsText));
        translator = std::make_unique<Translator>(programFolder);
        settings = std::make_unique<SettingsStore>([this] { return configFolder; });
    }

    Tfrm_Main& show()
    {
        pictures = std::make_unique<ToolPictures>();
        window = std::make_unique<Tfrm_Main>(*translator, *settings, nullptr, pictures.get());
        window->show();
        [[maybe_unused]] const bool exposed = QTest::qWaitForWindowExposed(window.get());
        return *window;
    }

    template <typename T = QWidget> T* child(const QString& name) const
    {
        return window->findChild<T*>(name);
    }

    void addLanguageFile(const QString& text, const QString& name = QStringLiteral("de.lng"))
    {
        QVERIFY(writeFile(programFolder + name, utf16File(text)));
    }

    /// Puts the stand-in tool into the program folder under the suite's tool names.
    void installTools()
    {
        const QString built = qEnvironmentVariable("CORVANE_TEST_PROGRAM_DIR");
        for (const QString& tool : QDir(built).entryList({QStringLiteral("*.exe")}, QDir::Files))
            QFile::copy(built + u'/' + tool, programFolder + tool);
    }
};

} // namespace corvane::test
