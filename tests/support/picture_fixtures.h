#pragma once
// Whole pictures of each kind for tests of picture processing and of documents that
// hold them: a smooth gradient with many colours, palette pictures, still and animated
// GIFs. Built by the tests' own writers, not by the code under test.

#include <cstdint>
#include <string>

namespace velmora::testing {

// The gradient's pixel at (x, y) as 0xRRGGBB: smooth red and green over a textured
// blue, so that it compresses well but not trivially, with far more than 300 colours,
// so that it is written losslessly.
uint32_t GradientColour(int x, int y);
// The gradient as RGB bytes, top row first.
std::string GradientRgb(int width, int height);

// A bottom-up bitmap of the gradient. 32 bits: the left half opaque, the right half
// fully transparent (alpha 0).
std::string GradientBmp(int width, int height, int bitCount = 24);
// A 4- or 8-bit bitmap of vertical stripes in a palette of 16 colours.
std::string StripedBmp(int width, int height, int bitCount);
// A still GIF of diagonal stripes in 16 colours.
std::string StripedGif(int width, int height);
// An animated GIF: every frame covers the whole screen, a striped background with a
// square that moves one step per frame, so an optimiser can crop the frames.
std::string MovingSquareGif(int width, int height, int frames);
// Noise: every pixel's colour from a hash of its place, so that a reduced copy, having
// fewer pixels, always makes the smaller file.
uint32_t NoiseColour(int x, int y);
// A bottom-up bitmap of noise: 24 or 32 bits (opaque) of colours, or 8 bits of indices
// into the 16 colours of the striped pictures.
std::string NoiseBmp(int width, int height, int bitCount);

// An RGB PNG of the gradient with unfiltered rows deflated at the zlib level (0 stores
// them), padded with a text chunk to at least 112 bytes.
std::string GradientPng(int width, int height, int zlibLevel);

}  // namespace velmora::testing
