#include "job/document_walk.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/text.h"

namespace velmora {

namespace fs = std::filesystem;

namespace {

std::string_view ExtensionOfName(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

bool IsSameFolder(const fs::path& a, const std::string& b) {
  if (b.empty()) return false;
  std::error_code error;
  return fs::equivalent(a, fs::path(b), error);
}

// Lists one folder into the walk; sub-folders to enter are appended to pending.
void ListFolder(const fs::path& folder, const std::string& relative, bool recursive,
                const std::string& skip, FolderWalk& walk,
                std::vector<std::pair<fs::path, std::string>>& pending) {
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error) {
    walk.unreadable.push_back(folder.string());
    return;
  }
  for (const fs::directory_iterator end; entries != end; entries.increment(error)) {
    if (error) break;
    const fs::directory_entry& entry = *entries;
    const std::string name = entry.path().filename().string();
    const std::string below = relative.empty() ? name : relative + "/" + name;
    // symlink_status looks at the entry itself: a link is neither a file nor a folder
    // here, whatever it points at.
    std::error_code statusError;
    const fs::file_status status = entry.symlink_status(statusError);
    if (statusError) continue;
    if (fs::is_directory(status)) {
      if (recursive && !IsSameFolder(entry.path(), skip)) pending.emplace_back(entry.path(), below);
    } else if (fs::is_regular_file(status) && IsDocumentName(name) && !IsEarlierTarget(name)) {
      walk.documents.push_back({entry.path().string(), below});
    }
  }
  if (error) walk.unreadable.push_back(folder.string());
}

}  // namespace

bool IsDocumentName(std::string_view name) {
  const std::string_view extension = ExtensionOfName(name);
  return EqualsIgnoreCase(extension, ".hwpx") || EqualsIgnoreCase(extension, ".hml");
}

bool IsEarlierTarget(std::string_view name) {
  if (!IsDocumentName(name)) return false;
  const std::string_view stem = name.substr(0, name.size() - ExtensionOfName(name).size());
  constexpr std::string_view kMark = "(pack)";
  return stem.size() >= kMark.size() &&
         EqualsIgnoreCase(stem.substr(stem.size() - kMark.size()), kMark);
}

FolderWalk FindDocuments(const std::string& folder, bool recursive, const std::string& skip) {
  FolderWalk walk;
  std::vector<std::pair<fs::path, std::string>> pending = {{fs::path(folder), std::string()}};
  while (!pending.empty()) {
    auto [path, relative] = std::move(pending.back());
    pending.pop_back();
    ListFolder(path, relative, recursive, skip, walk, pending);
  }
  std::sort(walk.documents.begin(), walk.documents.end(),
            [](const FoundDocument& a, const FoundDocument& b) { return a.relative < b.relative; });
  std::sort(walk.unreadable.begin(), walk.unreadable.end());
  return walk;
}

std::string MirroredTarget(const std::string& outputFolder, const std::string& relative) {
  return (fs::path(outputFolder) / fs::path(relative)).string();
}

}  // namespace velmora
