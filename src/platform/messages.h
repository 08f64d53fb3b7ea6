#pragma once
// The numeric message model the program is written in. Message numbers, command ids and
// the packing of wParam/lParam are those of the program's design; the handful of window
// system messages it relies on are our own constants, dispatched the same way.

#include <cstdint>

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using HWND = std::uintptr_t; // a window's identity; 0 is no window

constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_ENDSESSION = 0x0016;
constexpr UINT WM_COPYDATA = 0x004A;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_DROPFILES = 0x0233;
constexpr UINT WM_USER = 0x0400;

// Scroll codes carried in the low word of wParam of WM_HSCROLL / WM_VSCROLL.
constexpr int SB_LINEUP = 0;
constexpr int SB_LINEDOWN = 1;
constexpr int SB_PAGEUP = 2;
constexpr int SB_PAGEDOWN = 3;
constexpr int SB_THUMBPOSITION = 4;
constexpr int SB_THUMBTRACK = 5;
constexpr int SB_TOP = 6;
constexpr int SB_BOTTOM = 7;
constexpr int SB_ENDSCROLL = 8;

constexpr std::uint16_t LOWORD(std::uintptr_t v)
{
    return static_cast<std::uint16_t>(v & 0xFFFF);
}
constexpr std::uint16_t HIWORD(std::uintptr_t v)
{
    return static_cast<std::uint16_t>((v >> 16) & 0xFFFF);
}
constexpr LPARAM MAKELPARAM(std::uint16_t low, std::uint16_t high)
{
    return static_cast<LPARAM>(static_cast<std::uint32_t>(low) |
                               (static_cast<std::uint32_t>(high) << 16));
}
constexpr WPARAM MAKEWPARAM(std::uint16_t low, std::uint16_t high)
{
    return static_cast<WPARAM>(static_cast<std::uint32_t>(low) |
                               (static_cast<std::uint32_t>(high) << 16));
}

// The block a WM_COPYDATA message carries; lParam points at one of these.
struct COPYDATASTRUCT
{
    std::uintptr_t dwData = 0;
    std::uint32_t cbData = 0;
    const void* lpData = nullptr;
};
