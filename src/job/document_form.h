#pragma once
// Which document form a file holds, told by its first eight bytes.

#include <string>

namespace velmora {

enum class DocumentForm {
  kUnknown,
  kHwpml,      // "<?" with or without a UTF-8 byte order mark
  kHwpx,       // a zip archive
  kHwpBinary,  // the old binary format's own header
  kCompound,   // an OLE compound file (the binary format of later versions)
};

DocumentForm DetectDocumentForm(const std::string& path);

// The forms a job shrinks; the binary forms are refused with a hint to save as HWPX.
inline bool IsShrinkable(DocumentForm form) {
  return form == DocumentForm::kHwpml || form == DocumentForm::kHwpx;
}

}  // namespace velmora
