// The status window's colours, in one table: the window draws with the first group,
// resources/make-artwork.py paints the pictures with the second, and the window tests
// look for both on screenshots. Those scripts read this file, so keep one entry a line,
// as RGB(0xRR, 0xGG, 0xBB).
#pragma once

#include <windows.h>

namespace cvl::colours {

// Drawn by the window.
inline constexpr COLORREF Background = RGB(0x27, 0x2B, 0x34);
inline constexpr COLORREF Outline = RGB(0x47, 0x4B, 0x52);
inline constexpr COLORREF MessageText = RGB(0x7E, 0x84, 0x96);
inline constexpr COLORREF FatalText = RGB(0x9B, 0x38, 0x27);
inline constexpr COLORREF ButtonText = RGB(0x63, 0x6B, 0x7B);
inline constexpr COLORREF ButtonTextHighlight = RGB(0x8B, 0x9A, 0xAF);

// Painted into the pictures of resources/artwork, which lie on the background.
inline constexpr COLORREF FrameFill = RGB(0x29, 0x2E, 0x38);
inline constexpr COLORREF FrameOutline = RGB(0x46, 0x4C, 0x59);
inline constexpr COLORREF FrameOutlineHighlight = RGB(0x63, 0x6B, 0x7B);
inline constexpr COLORREF LogoField = RGB(0x1E, 0x2C, 0x4E);
inline constexpr COLORREF LogoMark = RGB(0xD8, 0xE2, 0xF0);
inline constexpr COLORREF IndicatorDot = RGB(0x3A, 0x40, 0x4C);
inline constexpr COLORREF IndicatorTrail = RGB(0x5A, 0x63, 0x75);
inline constexpr COLORREF IndicatorLead = RGB(0x8B, 0x9A, 0xAF);

}  // namespace cvl::colours
