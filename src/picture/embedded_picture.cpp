#include "picture/embedded_picture.h"

#include "platform/platform.h"

namespace velmora {

void RecordOutcome(const PictureOutcome& outcome, int64_t keptBytes, PictureRecord& record) {
  record.decision = outcome.decision;
  if (outcome.Replaces()) {
    record.kindOut = outcome.replacement;
    record.bytesAfter = platform::FileSize(outcome.rewrittenPath);
  } else {
    record.kindOut = record.kindIn;
    record.bytesAfter = keptBytes;
  }
}

}  // namespace velmora
