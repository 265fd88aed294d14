#pragma once
// The sample documents around the synthetic pictures: a minimal but complete HWPX
// package and the same content as an HWPML document.

#include <string>
#include <vector>

namespace samples {

struct SamplePicture {
  std::string id;         // "image1"
  std::string extension;  // "jpg", "bmp", "png", "gif"
  std::string bytes;
  int pixelWidth = 0;
  int pixelHeight = 0;
  bool deflateInPackage = false;  // stored otherwise
  bool compressInHwpml = false;
  std::string caption;
};

// Writes the HWPX package; false when the zip library fails.
bool WriteHwpx(const std::string& path, const std::vector<SamplePicture>& pictures);
// The HWPML document's bytes.
std::string MakeHwpml(const std::vector<SamplePicture>& pictures);

}  // namespace samples
