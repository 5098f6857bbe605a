#pragma once

// The About window: the product title, its version and build date, a rights notice and a link
// to the maker's home page. The owner builds a fresh window for every opening and destroys it
// afterwards, so a language file changed in between shows at the next opening.

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class frm_About;
}

namespace corvane {

class Translator;

class Tfrm_About : public QDialog
{
    Q_OBJECT
public:
    /// `translator` must outlive the window. The texts are looked up when it is first shown.
    Tfrm_About(const Translator& translator, QWidget* owner);
    ~Tfrm_About() override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void Label1Click();

    std::unique_ptr<Ui::frm_About> ui;
    const Translator& m_translator;
    bool m_shown = false;
    bool m_linkPressed = false;
};

} // namespace corvane
