#pragma once
// The job's temporary files: one folder, unique names in it, and the list of files
// to remove when the job ends (unless the user keeps them). Pictures processed side by
// side take names from one TempFiles; each picture has a scope of its own, so that
// the names it is given do not depend on what the others do.

#include <mutex>
#include <string>
#include <vector>

namespace velmora {

class TempFiles {
 public:
  // Chooses the folder: the system's temporary folder, else the desktop, else the
  // current folder, each tried by creating and deleting a probe file.
  explicit TempFiles(bool removeAtEnd);
  // Uses the given folder without probing (a fixed folder for tools and tests).
  TempFiles(bool removeAtEnd, std::string folder);
  // A scope for the files of one picture: names "<stem>-<n>.<extension>" in the
  // parent's folder, with stem the name of a file the parent gave (without its
  // extension), registered with the parent, which removes them.
  TempFiles(TempFiles& parent, const std::string& namedFile);
  ~TempFiles();
  TempFiles(const TempFiles&) = delete;
  TempFiles& operator=(const TempFiles&) = delete;

  // The next free name "<folder>VL_<tag>_<nnn>.<extension>" (plus "_c" with the
  // suffix flag). The name is reserved by creating it as an empty file, so that
  // another program instance sharing the folder cannot be handed the same name. Safe
  // to call from several threads.
  std::string NewName(const std::string& extension, bool suffix);

  // Adds the path to the files removed at the end of the job. Safe to call from
  // several threads.
  void Register(const std::string& path);

  const std::string& Folder() const { return folder_; }
  const std::string& Tag() const { return tag_; }
  std::vector<std::string> Registered() const;

  // Normalises a folder to end in exactly one separator.
  static std::string NormaliseFolder(const std::string& folder);

 private:
  bool Probe();

  std::string folder_;
  TempFiles* parent_ = nullptr;
  std::string stem_;  // of a picture's scope: "<folder>VL_<tag>_<nnn>"
  mutable std::mutex mutex_;
  std::vector<std::string> registered_;
  bool removeAtEnd_;
  int counter_ = 0;
  std::string tag_;
};

}  // namespace velmora
