#pragma once

// The main window's geometry, in pixels at 96 dots per inch: the window builds itself from it,
// and whatever checks or copies the window's layout from outside reads the same numbers.

namespace corvane::layout {

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

} // namespace corvane::layout
