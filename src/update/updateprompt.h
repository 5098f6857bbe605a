#pragma once

// The update prompt: tells the user that a newer version is out and offers the home page. Its
// check box switches the update check off for later starts; the choice goes back to the main
// window through a callback, and the main window keeps it in the settings.

#include <QDialog>
#include <QString>

#include <functional>
#include <memory>

namespace Ui {
class frm_Update;
}

namespace corvane {

class Translator;

class Tfrm_Update : public QDialog
{
    Q_OBJECT
public:
    /// Looks up the caption and the button texts at once. Every answer calls `setAutoUpdate`
    /// with the opposite of the check box: "Yes" after opening the home page, and "No", Esc or
    /// a close through the window manager without opening anything.
    Tfrm_Update(const Translator& translator, std::function<void(bool autoUpdate)> setAutoUpdate,
                QWidget* owner);
    ~Tfrm_Update() override;

    /// Fills the three labels, all plain text. Of `media` the first line is shown, with no '&'
    /// taken as an accelerator, elided with "…" where it does not fit the prompt's width or
    /// where more lines follow.
    void setTexts(const QString& message, const QString& media, const QString& download);

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate(const Translator& translator);
    void btn_OKClick();
    void btn_CancelClick();
    void applyCheckBox();

    std::unique_ptr<Ui::frm_Update> ui;
    std::function<void(bool)> m_setAutoUpdate;
};

} // namespace corvane
