// Byte fields of ISO 9660 and El Torito structures, declared the way the
// standards print them: 1-based, inclusive byte positions ("BP 9 to 40").
#pragma once

#include <cstddef>

namespace imagebuilder::iso {

struct Field {
  std::size_t offset;  // 0-based
  std::size_t width;
  constexpr std::size_t end() const { return offset + width; }
};

// Declares the field that the standard's tables place at BP first..last.
constexpr Field BP(std::size_t first, std::size_t last) { return {first - 1, last - first + 1}; }

// True when every field starts where the one before it ends, so a table of
// fields describes a layout without gaps or overlaps.
template <std::size_t N>
constexpr bool Contiguous(const Field (&fields)[N]) {
  for (std::size_t i = 1; i < N; ++i) {
    if (fields[i - 1].end() != fields[i].offset) return false;
  }
  return fields[0].offset == 0;
}

}  // namespace imagebuilder::iso
