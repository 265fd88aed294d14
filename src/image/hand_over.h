#pragma once
// Passing a decoded picture from its reader to a writer of another class.

#include <utility>

namespace velmora {

// Gives a decoded picture to a writer of another class. The pixel buffer moves, so it
// has exactly one owner at any time and is freed exactly once.
template <typename Reader, typename Writer>
void HandOver(Reader& reader, Writer& writer) {
  writer.width = reader.width;
  writer.height = reader.height;
  writer.bitsPerPixel = reader.bitsPerPixel;
  writer.sourceBitsPerPixel = reader.sourceBitsPerPixel;
  writer.xResolution = reader.xResolution;
  writer.yResolution = reader.yResolution;
  writer.pixels = std::move(reader.pixels);
}

}  // namespace velmora
