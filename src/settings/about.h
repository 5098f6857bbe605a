#pragma once

// The About window: the product title, its version and build date, a rights notice and a link
// to the maker's home page. The owner builds a fresh window for every opening and destroys it
// afterwards, so a language file changed in between shows at the next opening.

#include <QDialog>
#include <QString>

#include <memory>

class QDate;
class QLocale;

namespace Ui {
class frm_About;
}

namespace corvane {

class Translator;

/// `format` (a QDate format) with a two-digit year widened to four digits, unless it already
/// shows a four-digit year. Quoted literal text is left alone.
QString fullYearDateFormat(const QString& format);

/// `date` in `locale`'s short date format, always with a four-digit year.
QString shortDateFullYear(const QLocale& locale, QDate date);

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
