#pragma once
// Codes of the keys the scan tools watch (held while clicking, or stepping
// through a profile or a series): letters by their upper-case character,
// arrows as the chart reports them.

namespace orv::keycode {

constexpr int A = 65, S = 83, Z = 90;
constexpr int Left = 37, Up = 38, Right = 39, Down = 40;

} // namespace orv::keycode
