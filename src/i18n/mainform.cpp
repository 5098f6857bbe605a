#include "i18n/mainform.h"

#include "i18n/captiontext.h"

#include <QAction>
#include <QLabel>
#include <QMenu>

namespace corvane {

namespace {

constexpr const char* CaptionProperty = "corvaneCaption";
constexpr const char* HintProperty = "corvaneHint";

} // namespace

void TranslateMainForm(QWidget& frm_Main, const Translator& translator,
                       const QList<MainFormText>& texts)
{
    for (const MainFormText& entry : texts) {
        QObject* target = frm_Main.findChild<QObject*>(entry.target.toString());
        Q_ASSERT(target);
        const QString text = translator.Translate(entry.text);
        const bool isCaption = entry.kind == MainFormText::Caption;
        if (isCaption)
            setCaption(target, text);
        else
            setHint(target, text);
        // The copies take what the target now holds, not the looked-up text.
        const QString applied = isCaption ? caption(target) : hint(target);
        for (QStringView name : entry.copyTo) {
            if (name.isEmpty())
                continue;
            QObject* copy = frm_Main.findChild<QObject*>(name.toString());
            Q_ASSERT(copy);
            if (isCaption)
                setCaption(copy, applied);
            else
                setHint(copy, applied);
        }
    }
}

void setCaption(QObject* control, const QString& text)
{
    control->setProperty(CaptionProperty, text);
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(labelText(text));
        label->setAccessibleName(labelText(text));
    } else if (auto* menu = qobject_cast<QMenu*>(control)) {
        menu->setTitle(text);
    } else if (auto* action = qobject_cast<QAction*>(control)) {
        action->setText(text);
    }
}

QString caption(const QObject* control)
{
    return control->property(CaptionProperty).toString();
}

void setHint(QObject* control, const QString& text)
{
    control->setProperty(HintProperty, text);
    if (auto* widget = qobject_cast<QWidget*>(control)) {
        widget->setStatusTip(longHint(text));
        widget->setAccessibleDescription(longHint(text));
    } else if (auto* action = qobject_cast<QAction*>(control)) {
        action->setStatusTip(longHint(text));
    }
}

QString hint(const QObject* control)
{
    return control->property(HintProperty).toString();
}

} // namespace corvane
