#include "app/toolcatalog.h"

#include "i18n/texts.h"

namespace corvane {

namespace {

// The menu captions.
constexpr std::array<MainFormText, 8> MenuTexts{{
    {MainFormText::Caption,
     {u"v3.1.3", u"Restore", u"Restore default settings"},
     u"Restoredefaultsettings1",
     {}},
    {MainFormText::Caption, {u"Menus", u"Compilation", u"Compilation"}, u"File1", {}},
    {MainFormText::Caption, {u"v3.0", u"Settings", u"Settings"}, u"Settings1", {}},
    {MainFormText::Caption,
     {u"Settings", u"CheckUpdates", u"Check for updates when program starts"},
     u"Checkforupdates1",
     {}},
    {MainFormText::Caption,
     {u"Settings", u"CloseWindow", u"Close main window after project is launched"},
     u"CloseMainWindow1",
     {}},
    {MainFormText::Caption, {u"Menus", u"Help", u"Help"}, u"Help1", {u"Help2"}},
    {MainFormText::Caption, {u"Menus", u"About", u"About..."}, u"About1", {}},
    {MainFormText::Caption, {u"Menus", u"Exit", u"Exit"}, u"Exit1", {}},
}};

// The order of the caption lookups, by tool id or category label; the texts themselves are
// those of the catalogue.
constexpr std::array<QStringView, 20> CaptionOrder{
    u"DiscUDF",        u"BootDisc",      u"BD",        u"DiscISOUDF",
    u"AudioCD",        u"MP3Disc",       u"DVDVideo",  u"MakeImage",
    u"BootImage",      u"Erase",         u"Info",      u"Copy",
    u"Recovery",       u"MultiBurn",     u"lbl_Data",  u"lbl_Multimedia",
    u"lbl_DiscImages", u"lbl_Utilities", u"BurnImage", u"CopyImage"};

// The order of the description lookups, by tool id.
constexpr std::array<QStringView, 16> HintOrder{
    u"DiscUDF", u"DiscISOUDF", u"BootDisc",  u"DVDVideo",  u"BD",        u"AudioCD",
    u"MP3Disc", u"BurnImage",  u"MakeImage", u"BootImage", u"CopyImage", u"Erase",
    u"Info",    u"Copy",       u"Recovery",  u"MultiBurn"};

const ToolEntry& tool(QStringView id)
{
    for (const ToolEntry& entry : Tools) {
        if (entry.id == id)
            return entry;
    }
    Q_UNREACHABLE();
}

} // namespace

QList<MainFormText> mainFormTexts()
{
    // Object names are built once and kept for the life of the program, so the views into
    // them stay valid.
    static const QList<QString> names = [] {
        QList<QString> list;
        for (const ToolEntry& entry : Tools) {
            list << u"lbl_" + entry.id << u"img_" + entry.id;
        }
        return list;
    }();
    auto labelOf = [](QStringView id) -> QStringView {
        return names[2 * (&tool(id) - Tools.data())];
    };
    auto imageOf = [](QStringView id) -> QStringView {
        return names[2 * (&tool(id) - Tools.data()) + 1];
    };

    QList<MainFormText> texts(MenuTexts.begin(), MenuTexts.end());
    for (QStringView name : CaptionOrder) {
        bool isCategory = false;
        for (const CategoryEntry& category : Categories) {
            if (category.labelName == name) {
                texts.append({MainFormText::Caption,
                              category.caption,
                              category.labelName,
                              {category.menuName}});
                isCategory = true;
            }
        }
        if (!isCategory)
            texts.append(
                {MainFormText::Caption, tool(name).caption, labelOf(name), {tool(name).menuName}});
    }
    for (QStringView id : HintOrder)
        texts.append(
            {MainFormText::Hint, tool(id).hint, imageOf(id), {labelOf(id), tool(id).menuName}});
    return texts;
}

QList<TextRef> allTexts()
{
    using namespace texts;
    QList<TextRef> list;
    const QList<MainFormText> mainForm = mainFormTexts();
    for (const MainFormText& entry : mainForm)
        list << entry.text;
    list << UpdateCaption << DontCheck << Yes << No << Available << Download << AboutCaption << Ok
         << Version << Compiled << Copyright << Reserved << HelpMissing << HelpRemedy
         << HelpNotOpened << ToolMissing << ToolRemedy << ToolNotStarted << NotResponding << NoLock;
    return list;
}

} // namespace corvane
