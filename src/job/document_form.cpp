#include "job/document_form.h"

#include <cstdio>
#include <cstring>

#include "platform/platform.h"

namespace velmora {

DocumentForm DetectDocumentForm(const std::string& path) {
  platform::UniqueFile file = platform::OpenFile(path, "rb");
  if (!file) return DocumentForm::kUnknown;
  unsigned char b[8];
  if (std::fread(b, 1, sizeof b, file.get()) != sizeof b) return DocumentForm::kUnknown;
  switch (b[0]) {
    case 'P':
      if (b[1] == 'K' && b[2] == 0x03 && b[3] == 0x04) return DocumentForm::kHwpx;
      break;
    case '<':
      if (b[1] == '?') return DocumentForm::kHwpml;
      break;
    case 0xEF:
      if (b[1] == 0xBB && b[2] == 0xBF && b[3] == '<' && b[4] == '?') return DocumentForm::kHwpml;
      break;
    case 'H':
      if (std::memcmp(b, "HWP Docu", 8) == 0) return DocumentForm::kHwpBinary;
      break;
    case 0xD0: {
      const unsigned char compound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
      if (std::memcmp(b, compound, 8) == 0) return DocumentForm::kCompound;
      break;
    }
    default:
      break;
  }
  return DocumentForm::kUnknown;
}

}  // namespace velmora
