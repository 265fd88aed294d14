#pragma once
// A path field that takes a file dropped from the file manager: the first dropped
// item only, links resolved, and only what the field's accept mode allows.

#include <QLineEdit>

namespace velmora {

class DropLineEdit : public QLineEdit {
  Q_OBJECT

 public:
  enum AcceptMode : int { kFilesOnly = 0, kFoldersOnly = 1, kFilesAndFolders = 2 };

  explicit DropLineEdit(QWidget* parent = nullptr);
  ~DropLineEdit() override;

  void SetAcceptMode(int mode) { acceptMode_ = mode; }
  int AcceptMode() const { return acceptMode_; }

  // Takes a dropped path as a drop would: resolves links, checks the accept mode and
  // replaces the text. False when the path was ignored.
  bool TakeDroppedPath(const QString& path);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  int acceptMode_ = kFilesOnly;
};

}  // namespace velmora
