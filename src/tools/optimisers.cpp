#include "tools/optimisers.h"

namespace velmora {

// The child-process runner is not connected yet: no tool is found, so callers write
// their final files themselves.
std::string ZopflipngPath() { return {}; }
std::string GifsiclePath() { return {}; }
bool IsExecutableFile(const std::string& /*path*/) { return false; }
void OptimisePng(const std::string& /*pngPath*/, CTempFiles& /*temp*/) {}
void OptimiseGif(const std::string& /*tool*/, const std::string& /*input*/,
                 const std::string& /*output*/) {}

}  // namespace velmora
