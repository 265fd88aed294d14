#pragma once
// The program's window: source and target document, the options of a job, and
// "Run!", which runs one job on a worker thread while the input controls are
// disabled. The job's messages appear in message boxes owned by this window.

#include <QDialog>
#include <QString>
#include <QUrl>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/job_host.h"
#include "job/shrink_job.h"
#include "core/options.h"
#include "core/worker_pool.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;

namespace velmora {

class AboutBox;
class ImageButton;
class DropLineEdit;
class UpDownControl;
class WindowJobHost;

// What a file dialog is asked for.
struct FileDialogRequest {
  bool save = false;
  QString title;
  QString filter;         // Qt form: "name (*.ext);;name (*.ext)"
  QString folder;         // where the dialog starts
  QString defaultSuffix;  // appended to a typed name without extension (save only)
};

class MainWindow : public QDialog {
  Q_OBJECT

 public:
  // Runs one job; RunShrinkJob on the window's pool unless replaced.
  using JobRunner = std::function<bool(const std::string& source, const std::string& target,
                                       const ShrinkOptions& options, JobHost& host)>;

  // The window's ways out to the desktop, replaceable so that tests and other
  // front ends can observe them instead of starting programs; an empty action does
  // nothing.
  struct DesktopActions {
    std::function<void(const QString& path)> revealFile;
    std::function<void(const QUrl& url)> openUrl;
    std::function<void(const QVariantMap& properties)> launcherUpdate;
    // Returns the chosen path, or empty when the dialog was cancelled.
    std::function<QString(const FileDialogRequest& request)> chooseFile;
  };

  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  void SetJobRunner(JobRunner runner);
  void SetDesktopActions(DesktopActions actions);
  // Called with every message box and about box of this window once it is on
  // screen; the observer may answer it (for tests and automation).
  void SetMessageBoxObserver(std::function<void(QMessageBox&)> observer);
  void SetAboutBoxObserver(std::function<void(AboutBox&)> observer);

  // Enables or disables every input control together; "Donate!" stays enabled.
  void EnableControls(bool enable);
  void ShowAboutBox();

  bool IsJobRunning() const { return worker_.joinable(); }
  // The option set as last transferred from the controls.
  const ShrinkOptions& Options() const { return options_; }
  const QString& TitleText() const { return titleText_; }
  const std::string& RevealLogPath() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Every way of closing ends here ("닫기", the close box, the window manager).
  void reject() override;

 private:
  void BuildControls();
  void BuildLayout();
  void SetTabOrder();
  void Initialise();

  void OnSourceChanged(const QString& text);
  void OnChooseSource();
  void OnChooseTarget();
  void OnRuleChanged(int index);
  void OnQualityStep(bool up);
  void OnRun();
  void OnDonate();
  void OnJobFinished();
  void ShowPictureProgress(const PictureTally& tally);

  // Reads the controls into the option set in the order quality, keep, rule, extra
  // optimisers, classic, resolution; an unreadable quality shows a message and stops the
  // transfer there, leaving that field and the later ones at their previous values.
  bool TransferControlsToOptions();
  void ShowJobMessage(const QString& text, bool failure);
  int ExecMessageBox(QMessageBox& box);

  DropLineEdit* sourceEdit_ = nullptr;
  QPushButton* sourceButton_ = nullptr;
  DropLineEdit* targetEdit_ = nullptr;
  QPushButton* targetButton_ = nullptr;
  QGroupBox* optionsGroup_ = nullptr;
  QComboBox* ruleList_ = nullptr;
  QComboBox* resolutionList_ = nullptr;
  QLabel* qualityLabel_ = nullptr;
  QLineEdit* qualityEdit_ = nullptr;
  UpDownControl* qualityArrows_ = nullptr;
  QLabel* backgroundLabel_ = nullptr;
  QLineEdit* backgroundEdit_ = nullptr;
  QCheckBox* keepTempCheck_ = nullptr;
  QCheckBox* extraOptimiserCheck_ = nullptr;
  QCheckBox* classicCheck_ = nullptr;
  ImageButton* donateButton_ = nullptr;
  QPushButton* runButton_ = nullptr;
  QPushButton* closeButton_ = nullptr;
  QLabel* sourceLabel_ = nullptr;
  QLabel* targetLabel_ = nullptr;

  ShrinkOptions options_;
  QString titleText_;
  // The window's pictures are processed by one pool of workers, one per core.
  std::unique_ptr<WorkerPool> pool_;
  JobRunner runner_;
  DesktopActions actions_;
  std::function<void(QMessageBox&)> messageBoxObserver_;
  std::function<void(AboutBox&)> aboutBoxObserver_;
  std::unique_ptr<WindowJobHost> host_;
  std::thread worker_;
  bool closeAfterJob_ = false;
};

}  // namespace velmora
