#pragma once

// The launcher's catalogue: the four categories and the sixteen tools, one row each. The main
// window, its menu and the translation of both are built from these tables.

#include "i18n/mainform.h"
#include "i18n/translate.h"

#include <QList>
#include <QStringView>
#include <array>

namespace corvane {

struct CategoryEntry
{
    QStringView panelName; ///< the row, pnl_Top…pnl_Top4
    QStringView labelName; ///< lbl_Data…
    QStringView menuName;  ///< the category submenu, Data1…
    unsigned background;   ///< 0xRRGGBB
    TextRef caption;
};

/// The rows of the window, top to bottom; also the index into Categories.
enum class Category { Data, Multimedia, DiscImages, Utilities };

struct ToolEntry
{
    QStringView id; ///< names the controls btn_<id>, img_<id>, lbl_<id>
    Category category;
    int position; ///< 1…5 from the left of the row
    QStringView menuName;
    QStringView executable; ///< bare file name in the program folder
    QStringView argument;   ///< the mode word, or empty
    QStringView icon;       ///< picture base name in the resources
    TextRef caption;
    TextRef hint;
};

inline constexpr std::array<CategoryEntry, 4> Categories{{
    {.panelName = u"pnl_Top",
     .labelName = u"lbl_Data",
     .menuName = u"Data1",
     .background = 0xFFFFFF,
     .caption = {u"v3.0", u"Data", u"Data"}},
    {.panelName = u"pnl_Top2",
     .labelName = u"lbl_Multimedia",
     .menuName = u"Multimedia1",
     .background = 0xF7F7F7,
     .caption = {u"v3.0", u"Multimedia", u"Multimedia"}},
    {.panelName = u"pnl_Top3",
     .labelName = u"lbl_DiscImages",
     .menuName = u"DiscImages1",
     .background = 0xFFFFFF,
     .caption = {u"v3.0", u"DiscImages", u"Disc Images"}},
    {.panelName = u"pnl_Top4",
     .labelName = u"lbl_Utilities",
     .menuName = u"Utilities1",
     .background = 0xF7F7F7,
     .caption = {u"v3.0", u"Utilities", u"Utilities"}},
}};

inline constexpr std::array<ToolEntry, 16> Tools{{
    {.id = u"DiscUDF",
     .category = Category::Data,
     .position = 1,
     .menuName = u"UDFDisc1",
     .executable = u"files_writer.exe",
     .argument = u"UDF2",
     .icon = u"data_disc",
     .caption = {u"v3.0", u"DataDisc", u"Data Disc"},
     .hint = {u"v5.0", u"Standard", u"Create standard Data CD, DVD or Blu-ray Disc."}},
    {.id = u"BD",
     .category = Category::Data,
     .position = 2,
     .menuName = u"BlurayDisc1",
     .executable = u"files_writer.exe",
     .argument = u"BLURAY",
     .icon = u"bluray_disc",
     .caption = {u"v3.0", u"BD", u"Blu-ray Disc"},
     .hint = {u"v3.0", u"BDDisc", u"Create Blu-ray Disc."}},
    {.id = u"BootDisc",
     .category = Category::Data,
     .position = 3,
     .menuName = u"BootDisc1",
     .executable = u"files_writer.exe",
     .argument = u"BOOT",
     .icon = u"boot_disc",
     .caption = {u"v3.0", u"BootDisc2", u"Boot Disc"},
     .hint = {u"v4.0", u"BootDisc", u"Create Bootable Disc."}},
    {.id = u"DiscISOUDF",
     .category = Category::Data,
     .position = 4,
     .menuName = u"ISOUDFDisc1",
     .executable = u"files_writer.exe",
     .argument = u"CUSTOM",
     .icon = u"custom_disc",
     .caption = {u"v5.0", u"CustomDisc", u"Custom Disc"},
     .hint = {u"v5.0", u"CustomHint",
              u"Create Data Disc with ISO 9660, UDF or Bridge file system."}},
    {.id = u"AudioCD",
     .category = Category::Multimedia,
     .position = 1,
     .menuName = u"AudioCD1",
     .executable = u"tunes_writer.exe",
     .argument = u"",
     .icon = u"audio_cd",
     .caption = {u"Captions", u"AudioCD", u"Audio CD"},
     .hint = {u"v3.0", u"AudioCD",
              u"Create standard Audio CD that can be played on any CD player."}},
    {.id = u"MP3Disc",
     .category = Category::Multimedia,
     .position = 2,
     .menuName = u"MP3Disc1",
     .executable = u"songs_writer.exe",
     .argument = u"",
     .icon = u"mp3_disc",
     .caption = {u"v3.0", u"MP3Disc", u"MP3 Disc"},
     .hint = {u"v3.0", u"MP3DiscHint",
              u"Create MP3 CD or DVD that can be played on any player with MP3 support."}},
    {.id = u"DVDVideo",
     .category = Category::Multimedia,
     .position = 3,
     .menuName = u"DVDVideo1",
     .executable = u"movie_writer.exe",
     .argument = u"",
     .icon = u"dvd_video",
     .caption = {u"Captions2", u"DVDVideo", u"DVD-Video"},
     .hint = {u"v4.0", u"DVDVideo",
              u"Create DVD-Video that can be played in DVD player, XBOX or PS3."}},
    {.id = u"BurnImage",
     .category = Category::DiscImages,
     .position = 1,
     .menuName = u"BurnImage1",
     .executable = u"image_writer.exe",
     .argument = u"",
     .icon = u"burn_image",
     .caption = {u"v3.0", u"BurnImage2", u"Burn Image"},
     .hint = {u"v3.0", u"BurnImage", u"Create disc from ISO or CUE/BIN image file."}},
    {.id = u"CopyImage",
     .category = Category::DiscImages,
     .position = 2,
     .menuName = u"CopytoImage1",
     .executable = u"disc_ripper.exe",
     .argument = u"",
     .icon = u"copy_image",
     .caption = {u"v3.0", u"CopytoImage", u"Copy to Image"},
     .hint = {u"v3.0", u"CopyISO", u"Copy disc to disc image."}},
    {.id = u"MakeImage",
     .category = Category::DiscImages,
     .position = 3,
     .menuName = u"MakeImage1",
     .executable = u"image_builder.exe",
     .argument = u"ISO",
     .icon = u"make_iso",
     .caption = {u"v3.0", u"MakeISO2", u"Make ISO"},
     .hint = {u"v3.0", u"MakeISO", u"Make ISO image from local files."}},
    {.id = u"BootImage",
     .category = Category::DiscImages,
     .position = 4,
     .menuName = u"MakeBootImage1",
     .executable = u"image_builder.exe",
     .argument = u"BOOT",
     .icon = u"make_boot_iso",
     .caption = {u"v3.0", u"MakeBootISO", u"Make Boot ISO"},
     .hint = {u"v3.0", u"BootISO", u"Make bootable ISO image from local files."}},
    {.id = u"Erase",
     .category = Category::Utilities,
     .position = 1,
     .menuName = u"EraseDisc1",
     .executable = u"media_wiper.exe",
     .argument = u"",
     .icon = u"erase_disc",
     .caption = {u"v3.0", u"EraseDisc2", u"Erase Disc"},
     .hint = {u"v3.0", u"EraseDisc", u"Erase or format rewritable disc."}},
    {.id = u"Info",
     .category = Category::Utilities,
     .position = 2,
     .menuName = u"DiscInfo1",
     .executable = u"media_inspector.exe",
     .argument = u"",
     .icon = u"disc_info",
     .caption = {u"v3.0", u"DiscInfo2", u"Disc Info"},
     .hint = {u"v3.0", u"DiscInfo", u"View disc and drive information."}},
    {.id = u"Copy",
     .category = Category::Utilities,
     .position = 3,
     .menuName = u"CopyDisc1",
     .executable = u"disc_duplicator.exe",
     .argument = u"",
     .icon = u"copy_disc",
     .caption = {u"v3.0", u"CopyDisc2", u"Copy Disc"},
     .hint = {u"v3.0", u"CopyDisc", u"Copy disc to disc."}},
    {.id = u"Recovery",
     .category = Category::Utilities,
     .position = 4,
     .menuName = u"DataRecovery1",
     .executable = u"session_extractor.exe",
     .argument = u"",
     .icon = u"recovery",
     .caption = {u"v3.0", u"DataRecovery2", u"Data Recovery"},
     .hint = {u"v3.0", u"Recovery", u"Extract audio tracks or data from multisession disc."}},
    {.id = u"MultiBurn",
     .category = Category::Utilities,
     .position = 5,
     .menuName = u"MultiBurn1",
     .executable = u"parallel_writer.exe",
     .argument = u"",
     .icon = u"multiburn",
     .caption = {u"Captions4", u"Multiburn", u"Multiburn"},
     .hint = {u"v3.0", u"MultiBurn", u"Write ISO image to multiple recorders."}},
}};

/// The lookups of the main window in the order they are made: the menu captions, then the
/// tool and category captions, then the tool descriptions.
QList<MainFormText> mainFormTexts();

/// Every text the launcher looks up: the main window's in the order it makes them, then the
/// update prompt's, the About window's, the warnings' and a start's. A language file's
/// translator works from it.
QList<TextRef> allTexts();

} // namespace corvane
