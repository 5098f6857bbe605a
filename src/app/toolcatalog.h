#pragma once

// The launcher's catalogue: the four categories and the sixteen tools, one row each. The main
// window, its menu and the translation of both are built from these tables.

#include "i18n/translate.h"

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

struct ToolEntry
{
    QStringView id; ///< names the controls btn_<id>, img_<id>, lbl_<id>
    int category;   ///< index into Categories
    int position;   ///< 1…5 from the left of the row
    QStringView menuName;
    QStringView executable; ///< bare file name in the program folder
    QStringView argument;   ///< the mode word, or empty
    QStringView icon;       ///< picture base name in the resources
    TextRef caption;
    TextRef hint;
};

inline constexpr std::array<CategoryEntry, 4> Categories{{
    {u"pnl_Top", u"lbl_Data", u"Data1", 0xFFFFFF, {u"v3.0", u"Data", u"Data"}},
    {u"pnl_Top2",
     u"lbl_Multimedia",
     u"Multimedia1",
     0xF7F7F7,
     {u"v3.0", u"Multimedia", u"Multimedia"}},
    {u"pnl_Top3",
     u"lbl_DiscImages",
     u"DiscImages1",
     0xFFFFFF,
     {u"v3.0", u"DiscImages", u"Disc Images"}},
    {u"pnl_Top4", u"lbl_Utilities", u"Utilities1", 0xF7F7F7, {u"v3.0", u"Utilities", u"Utilities"}},
}};

inline constexpr std::array<ToolEntry, 16> Tools{{
    {u"DiscUDF",
     0,
     1,
     u"UDFDisc1",
     u"files_writer.exe",
     u"UDF2",
     u"data_disc",
     {u"v3.0", u"DataDisc", u"Data Disc"},
     {u"v5.0", u"Standard", u"Create standard Data CD, DVD or Blu-ray Disc."}},
    {u"BD",
     0,
     2,
     u"BlurayDisc1",
     u"files_writer.exe",
     u"BLURAY",
     u"bluray_disc",
     {u"v3.0", u"BD", u"Blu-ray Disc"},
     {u"v3.0", u"BDDisc", u"Create Blu-ray Disc."}},
    {u"BootDisc",
     0,
     3,
     u"BootDisc1",
     u"files_writer.exe",
     u"BOOT",
     u"boot_disc",
     {u"v3.0", u"BootDisc2", u"Boot Disc"},
     {u"v4.0", u"BootDisc", u"Create Bootable Disc."}},
    {u"DiscISOUDF",
     0,
     4,
     u"ISOUDFDisc1",
     u"files_writer.exe",
     u"CUSTOM",
     u"custom_disc",
     {u"v5.0", u"CustomDisc", u"Custom Disc"},
     {u"v5.0", u"CustomHint", u"Create Data Disc with ISO 9660, UDF or Bridge file system."}},
    {u"AudioCD",
     1,
     1,
     u"AudioCD1",
     u"tunes_writer.exe",
     u"",
     u"audio_cd",
     {u"Captions", u"AudioCD", u"Audio CD"},
     {u"v3.0", u"AudioCD", u"Create standard Audio CD that can be played on any CD player."}},
    {u"MP3Disc",
     1,
     2,
     u"MP3Disc1",
     u"songs_writer.exe",
     u"",
     u"mp3_disc",
     {u"v3.0", u"MP3Disc", u"MP3 Disc"},
     {u"v3.0", u"MP3DiscHint",
      u"Create MP3 CD or DVD that can be played on any player with MP3 support."}},
    {u"DVDVideo",
     1,
     3,
     u"DVDVideo1",
     u"movie_writer.exe",
     u"",
     u"dvd_video",
     {u"Captions2", u"DVDVideo", u"DVD-Video"},
     {u"v4.0", u"DVDVideo", u"Create DVD-Video that can be played in DVD player, XBOX or PS3."}},
    {u"BurnImage",
     2,
     1,
     u"BurnImage1",
     u"image_writer.exe",
     u"",
     u"burn_image",
     {u"v3.0", u"BurnImage2", u"Burn Image"},
     {u"v3.0", u"BurnImage", u"Create disc from ISO or CUE/BIN image file."}},
    {u"CopyImage",
     2,
     2,
     u"CopytoImage1",
     u"disc_ripper.exe",
     u"",
     u"copy_image",
     {u"v3.0", u"CopytoImage", u"Copy to Image"},
     {u"v3.0", u"CopyISO", u"Copy disc to disc image."}},
    {u"MakeImage",
     2,
     3,
     u"MakeImage1",
     u"image_builder.exe",
     u"ISO",
     u"make_iso",
     {u"v3.0", u"MakeISO2", u"Make ISO"},
     {u"v3.0", u"MakeISO", u"Make ISO image from local files."}},
    {u"BootImage",
     2,
     4,
     u"MakeBootImage1",
     u"image_builder.exe",
     u"BOOT",
     u"make_boot_iso",
     {u"v3.0", u"MakeBootISO", u"Make Boot ISO"},
     {u"v3.0", u"BootISO", u"Make bootable ISO image from local files."}},
    {u"Erase",
     3,
     1,
     u"EraseDisc1",
     u"media_wiper.exe",
     u"",
     u"erase_disc",
     {u"v3.0", u"EraseDisc2", u"Erase Disc"},
     {u"v3.0", u"EraseDisc", u"Erase or format rewritable disc."}},
    {u"Info",
     3,
     2,
     u"DiscInfo1",
     u"media_inspector.exe",
     u"",
     u"disc_info",
     {u"v3.0", u"DiscInfo2", u"Disc Info"},
     {u"v3.0", u"DiscInfo", u"View disc and drive information."}},
    {u"Copy",
     3,
     3,
     u"CopyDisc1",
     u"disc_duplicator.exe",
     u"",
     u"copy_disc",
     {u"v3.0", u"CopyDisc2", u"Copy Disc"},
     {u"v3.0", u"CopyDisc", u"Copy disc to disc."}},
    {u"Recovery",
     3,
     4,
     u"DataRecovery1",
     u"session_extractor.exe",
     u"",
     u"recovery",
     {u"v3.0", u"DataRecovery2", u"Data Recovery"},
     {u"v3.0", u"Recovery", u"Extract audio tracks or data from multisession disc."}},
    {u"MultiBurn",
     3,
     5,
     u"MultiBurn1",
     u"parallel_writer.exe",
     u"",
     u"multiburn",
     {u"Captions4", u"Multiburn", u"Multiburn"},
     {u"v3.0", u"MultiBurn", u"Write ISO image to multiple recorders."}},
}};

/// Geometry of the main window, in pixels at 96 dpi.
namespace layout {
inline constexpr int ClientWidth = 547;
inline constexpr int RowHeight = 90;
inline constexpr int RowBorder = 8;
inline constexpr int StatusTop = 360;
inline constexpr int StatusHeight = 19;
inline constexpr int ClientHeight = StatusTop + StatusHeight; // 379
inline constexpr int ButtonWidth = 89;
inline constexpr int ButtonHeight = 74;
inline constexpr int ImageHeight = 48;
inline constexpr int IconSize = 36;

/// Left edge of a tool button at `position` (1…5) in its row.
constexpr int buttonLeft(int position)
{
    return RowBorder + (position - 1) * ButtonWidth;
}
} // namespace layout

} // namespace corvane
