#pragma once
// Finding the documents in a folder, for a host that shrinks folders: which file
// names are documents, which are targets of earlier runs, and where a document's
// target goes when the targets are gathered in an output folder.

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// True for a name ending in ".hwpx" or ".hml", in any case.
bool IsDocumentName(std::string_view name);
// True for a document name whose stem ends in "(pack)", in any case: the target an
// earlier run wrote beside its source. Shrinking it again would only make
// "a(pack)(pack).hwpx".
bool IsEarlierTarget(std::string_view name);

struct FoundDocument {
  std::string path;      // the folder's path joined with relative
  std::string relative;  // below the folder, with "/" between sub-folders
};

struct FolderWalk {
  std::vector<FoundDocument> documents;  // sorted by relative path
  std::vector<std::string> unreadable;   // folders that could not be listed
};

// The documents in the folder (with recursive, also in its sub-folders), earlier
// targets left out. Symbolic links are not followed, neither to files nor to folders:
// a link may lead out of the tree or around in a circle. A sub-folder that is the
// same folder as skip (an output folder inside the tree) is not entered.
FolderWalk FindDocuments(const std::string& folder, bool recursive, const std::string& skip);

// The target of a document found under a folder, in the output folder: the same
// relative path there.
std::string MirroredTarget(const std::string& outputFolder, const std::string& relative);

}  // namespace velmora
