// The sixteen colours of the 16-colour screens (0xAARRGGBB), written out
// once for the tests, so that a wrong entry in the runtime's own table shows.
#pragma once

#include <array>
#include <cstdint>

inline constexpr std::array<uint32_t, 16> expected_standard_colours = {
    0xFF000000, 0xFF0000AA, 0xFF00AA00, 0xFF00AAAA, 0xFFAA0000, 0xFFAA00AA, 0xFFAA5500, 0xFFAAAAAA,
    0xFF555555, 0xFF5555FF, 0xFF55FF55, 0xFF55FFFF, 0xFFFF5555, 0xFFFF55FF, 0xFFFFFF55, 0xFFFFFFFF};
