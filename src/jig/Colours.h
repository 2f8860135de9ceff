#pragma once
// The colours the windows paint, 0x00BBGGRR as the window system takes them,
// by the names the windows give them.
#include <cstdint>

namespace qj {

inline constexpr uint32_t kBlack = 0x000000;
inline constexpr uint32_t kRed = 0x0000FF;
inline constexpr uint32_t kGreen = 0x00FF00;
inline constexpr uint32_t kLime = kGreen;
inline constexpr uint32_t kYellow = 0x00FFFF;
inline constexpr uint32_t kAqua = 0xFFFF00;
inline constexpr uint32_t kFuchsia = 0xFF00FF;
inline constexpr uint32_t kSkyBlue = 0xF0CAA6;
// Not an RGB value: the window system's button-face colour (a control that no
// longer waits for a choice is painted in it).
inline constexpr uint32_t kButtonFace = 0xFF00000F;

}  // namespace qj
