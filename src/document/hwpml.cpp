#include "document/hwpml.h"

namespace velmora {

// HWPML processing is not built yet: such documents are refused with the processor's
// own "format only" message and no target is written.
ProcessorResult ShrinkHwpml(const std::string& /*source*/, const std::string& /*target*/,
                            const ShrinkOptions& /*options*/, CCreateLog& /*log*/,
                            CTempFiles& /*temp*/, JobHost* /*host*/, int& failedInflations) {
  failedInflations = 0;
  return {false, "HwpML 형식만 처리 가능!"};
}

}  // namespace velmora
