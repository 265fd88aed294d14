#include "ui/main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

#include "core/text.h"
#include "core/version.h"
#include "job/messages.h"
#include "platform/platform.h"
#include "ui/about_box.h"
#include "ui/image_button.h"
#include "ui/desktop_integration.h"
#include "ui/dialog_units.h"
#include "ui/donation.h"
#include "ui/drop_line_edit.h"
#include "ui/quality_text.h"
#include "ui/resources.h"
#include "ui/up_down.h"
#include "ui/texts.h"
#include "ui/window_job_host.h"

namespace velmora {

namespace {

QString Q(const char* utf8) { return QString::fromUtf8(utf8); }
QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

// The folder a file dialog starts in: the text up to and including its last
// separator, or the whole text when it has none (a bare folder name).
QString StartFolder(const QString& text) {
  const qsizetype separator = text.lastIndexOf(u'/');
  return separator < 0 ? text : text.left(separator + 1);
}

QString RunFileDialog(QWidget* parent, const FileDialogRequest& request) {
  QFileDialog dialog(parent, request.title, request.folder, request.filter);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

// The printing density of each entry of the resolution list; 0 keeps every picture's
// resolution.
constexpr int kResolutionPpi[] = {0, 300, 220, 150, 96};
static_assert(std::size(kResolutionPpi) == std::size(ui_text::kResolutions));

// Width that holds the text in a control with frame and padding, but never less than
// the control's width in dialog units.
int FitWidth(const QWidget* widget, int unitsWidth, const QString& text, int padding) {
  return std::max(unitsWidth, widget->fontMetrics().horizontalAdvance(text) + padding);
}

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QDialog(parent), pool_(std::make_unique<WorkerPool>(0)) {
  runner_ = [pool = pool_.get()](const std::string& source, const std::string& target,
                                 const ShrinkOptions& options, JobHost& host) {
    return RunShrinkJob(source, target, options, host, *pool);
  };
  InitUiResources();
  // A main window, not a dialog of another program: its own taskbar entry, a
  // minimise box, no maximise box.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  actions_.revealFile = RevealInFileManager;
  actions_.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  actions_.launcherUpdate = SendLauncherUpdate;
  actions_.chooseFile = [this](const FileDialogRequest& request) {
    return RunFileDialog(this, request);
  };
  host_ = std::make_unique<WindowJobHost>(
      this, WindowJobHost::Callbacks{
                [this](const QString& text, bool failure) { ShowJobMessage(text, failure); },
                [this](ProgressState state) {
                  if (actions_.launcherUpdate) {
                    actions_.launcherUpdate(LauncherStateProperties(state));
                  }
                },
                [this](uint64_t done, uint64_t total) {
                  if (actions_.launcherUpdate) {
                    actions_.launcherUpdate(LauncherProgressProperties(done, total));
                  }
                },
                [this](const PictureTally& tally) { ShowPictureProgress(tally); }});
  BuildControls();
  BuildLayout();
  SetTabOrder();
  Initialise();
}

MainWindow::~MainWindow() {
  // The job uses the host, which dies with the window: a job still running (the
  // program is being ended without the window being closed) is asked to stop,
  // released from any message it waits on and awaited, so that nothing of it
  // outlives the window.
  if (worker_.joinable()) {
    platform::RequestStop();
    host_->Shutdown();
    worker_.join();
    platform::ClearStopRequest();
  }
}

void MainWindow::SetJobRunner(JobRunner runner) { runner_ = std::move(runner); }

void MainWindow::SetDesktopActions(DesktopActions actions) { actions_ = std::move(actions); }

void MainWindow::SetMessageBoxObserver(std::function<void(QMessageBox&)> observer) {
  messageBoxObserver_ = std::move(observer);
}

void MainWindow::SetAboutBoxObserver(std::function<void(AboutBox&)> observer) {
  aboutBoxObserver_ = std::move(observer);
}

const std::string& MainWindow::RevealLogPath() const { return host_->revealLogPath; }

void MainWindow::BuildControls() {
  auto named = [](QWidget* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
  };
  sourceLabel_ = new QLabel(Q(ui_text::kSourceLabel), this);
  sourceEdit_ = new DropLineEdit(this);
  named(sourceEdit_, "sourceEdit");
  sourceButton_ = new QPushButton(Q(ui_text::kChooseButton), this);
  named(sourceButton_, "sourceButton");
  targetLabel_ = new QLabel(Q(ui_text::kTargetLabel), this);
  targetEdit_ = new DropLineEdit(this);
  named(targetEdit_, "targetEdit");
  targetButton_ = new QPushButton(Q(ui_text::kChooseButton), this);
  named(targetButton_, "targetButton");

  optionsGroup_ = new QGroupBox(Q(ui_text::kOptionsGroup), this);
  ruleList_ = new QComboBox(optionsGroup_);
  named(ruleList_, "ruleList");
  for (const char* rule : ui_text::kRules) ruleList_->addItem(Q(rule));
  resolutionList_ = new QComboBox(optionsGroup_);
  named(resolutionList_, "resolutionList");
  for (const char* resolution : ui_text::kResolutions) resolutionList_->addItem(Q(resolution));
  qualityLabel_ = new QLabel(Q(ui_text::kQualityLabel), optionsGroup_);
  qualityLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  qualityEdit_ = new QLineEdit(optionsGroup_);
  named(qualityEdit_, "qualityEdit");
  qualityArrows_ = new UpDownControl(optionsGroup_);
  named(qualityArrows_, "qualityArrows");
  backgroundLabel_ = new QLabel(Q(ui_text::kBackgroundLabel), optionsGroup_);
  backgroundLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  backgroundEdit_ = new QLineEdit(optionsGroup_);
  named(backgroundEdit_, "backgroundEdit");
  keepTempCheck_ = new QCheckBox(Q(ui_text::kKeepTempCheck), optionsGroup_);
  named(keepTempCheck_, "keepTempCheck");
  extraOptimiserCheck_ = new QCheckBox(Q(ui_text::kOptimiserCheck), optionsGroup_);
  named(extraOptimiserCheck_, "extraOptimiserCheck");
  classicCheck_ = new QCheckBox(Q(ui_text::kClassicCheck), optionsGroup_);
  named(classicCheck_, "classicCheck");

  donateButton_ = new ImageButton(Q(ui_text::kDonateButton), this);
  named(donateButton_, "donateButton");
  runButton_ = new QPushButton(Q(ui_text::kRunButton), this);
  named(runButton_, "runButton");
  runButton_->setDefault(true);
  closeButton_ = new QPushButton(Q(ui_text::kCloseButton), this);
  named(closeButton_, "closeButton");
}

void MainWindow::BuildLayout() {
  const DialogUnits du(font());
  const int buttonPadding = du.X(8);
  const int editPadding = du.X(6);

  sourceLabel_->setMinimumWidth(du.X(12));
  targetLabel_->setMinimumWidth(du.X(12));
  for (DropLineEdit* edit : {sourceEdit_, targetEdit_}) edit->setMinimumWidth(du.X(362));
  for (QPushButton* button : {sourceButton_, targetButton_}) {
    button->setFixedWidth(FitWidth(button, du.X(34), button->text(), buttonPadding));
  }

  auto* paths = new QGridLayout;
  paths->setHorizontalSpacing(du.X(3));
  paths->setVerticalSpacing(du.Y(3));
  paths->addWidget(sourceLabel_, 0, 0);
  paths->addWidget(sourceEdit_, 0, 1);
  paths->addWidget(sourceButton_, 0, 2);
  paths->addWidget(targetLabel_, 1, 0);
  paths->addWidget(targetEdit_, 1, 1);
  paths->addWidget(targetButton_, 1, 2);
  paths->setColumnStretch(1, 1);

  ruleList_->setMinimumWidth(du.X(88));
  resolutionList_->setMinimumWidth(du.X(70));
  qualityLabel_->setMinimumWidth(du.X(25));
  qualityEdit_->setFixedWidth(FitWidth(qualityEdit_, du.X(13), QStringLiteral("100"), editPadding));
  qualityArrows_->setFixedWidth(std::max(du.X(10), 14));
  qualityArrows_->setFixedHeight(std::max(du.Y(14), qualityEdit_->sizeHint().height()));
  backgroundLabel_->setMinimumWidth(du.X(29));
  backgroundEdit_->setFixedWidth(
      FitWidth(backgroundEdit_, du.X(27), QStringLiteral("FFFFFF"), editPadding));
  keepTempCheck_->setMinimumWidth(du.X(52));
  extraOptimiserCheck_->setMinimumWidth(du.X(68));

  auto* options = new QHBoxLayout(optionsGroup_);
  options->setContentsMargins(du.X(10), du.Y(4), du.X(5), du.Y(4));
  options->setSpacing(0);
  options->addWidget(ruleList_);
  options->addSpacing(du.X(4));
  options->addWidget(resolutionList_);
  options->addSpacing(du.X(9));
  options->addWidget(qualityLabel_);
  options->addSpacing(du.X(2));
  options->addWidget(qualityEdit_);
  options->addWidget(qualityArrows_);
  options->addSpacing(du.X(4));
  options->addWidget(backgroundLabel_);
  options->addSpacing(du.X(2));
  options->addWidget(backgroundEdit_);
  options->addSpacing(du.X(14));
  options->addWidget(keepTempCheck_);
  options->addSpacing(du.X(4));
  options->addWidget(extraOptimiserCheck_);
  options->addSpacing(du.X(4));
  options->addWidget(classicCheck_);
  options->addStretch(1);

  const QSize donateSize = donateButton_->sizeHint();
  donateButton_->setFixedSize(std::max(du.X(48), donateSize.width()),
                              std::max(du.Y(13), donateSize.height()));
  runButton_->setFixedWidth(FitWidth(runButton_, du.X(25), runButton_->text(), buttonPadding));
  closeButton_->setFixedWidth(
      FitWidth(closeButton_, du.X(21), closeButton_->text(), buttonPadding));
  for (QPushButton* button : {runButton_, closeButton_}) button->setMinimumHeight(du.Y(16));

  auto* commands = new QHBoxLayout;
  commands->setSpacing(du.X(2));
  commands->addWidget(runButton_);
  commands->addWidget(closeButton_);
  auto* side = new QVBoxLayout;
  side->setSpacing(du.Y(1));
  side->addSpacing(du.Y(3));
  side->addWidget(donateButton_, 0, Qt::AlignRight);
  side->addStretch(1);
  side->addLayout(commands);

  auto* bottom = new QHBoxLayout;
  bottom->setSpacing(du.X(4));
  bottom->addWidget(optionsGroup_, 1);
  bottom->addLayout(side);

  auto* window = new QVBoxLayout(this);
  window->setContentsMargins(du.X(7), du.Y(7), du.X(7), du.Y(8));
  window->setSpacing(du.Y(4));
  window->addLayout(paths);
  window->addLayout(bottom);
  // The window keeps the size its controls ask for, like a dialog from a template.
  window->setSizeConstraint(QLayout::SetFixedSize);
}

void MainWindow::SetTabOrder() {
  QWidget* order[] = {sourceEdit_,    sourceButton_,  targetEdit_,    targetButton_,
                      ruleList_,      resolutionList_, qualityEdit_,  qualityArrows_,
                      backgroundEdit_, keepTempCheck_, extraOptimiserCheck_, classicCheck_,
                      donateButton_,  runButton_,     closeButton_};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
}

void MainWindow::Initialise() {
  // Every start begins with the option defaults: nothing is stored between runs.
  qualityEdit_->setText(QString::number(options_.jpegQuality));
  ruleList_->setCurrentIndex(static_cast<int>(options_.conversionRule));
  resolutionList_->setCurrentIndex(0);  // every picture keeps its resolution
  keepTempCheck_->setChecked(options_.keepTempFiles);
  extraOptimiserCheck_->setChecked(options_.extraOptimisers);
  classicCheck_->setChecked(options_.classic);

  // The window manager owns the system menu on this desktop, so the about item is
  // offered in the window's own context menu.
  auto* about = new QAction(Q(ui_text::kAboutAction), this);
  about->setObjectName(QStringLiteral("aboutAction"));
  connect(about, &QAction::triggered, this, &MainWindow::ShowAboutBox);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  setWindowIcon(ProgramIcon());
  sourceEdit_->SetAcceptMode(DropLineEdit::kFilesOnly);
  targetEdit_->SetAcceptMode(DropLineEdit::kFilesOnly);
  backgroundEdit_->setText(QStringLiteral("FFFFFF"));

  titleText_ = Q(ui_text::kTitle).arg(Q(GetVersionText()));
  setWindowTitle(titleText_);

  qualityEdit_->setToolTip(Q(ui_text::kTipQuality));
  qualityArrows_->setToolTip(Q(ui_text::kTipQuality));
  backgroundEdit_->setToolTip(Q(ui_text::kTipBackground));
  keepTempCheck_->setToolTip(Q(ui_text::kTipKeepTemp));
  ruleList_->setToolTip(Q(ui_text::kTipRule));
  resolutionList_->setToolTip(Q(ui_text::kTipResolution));
  extraOptimiserCheck_->setToolTip(Q(ui_text::kTipExtra));
  classicCheck_->setToolTip(Q(ui_text::kTipClassic));

  donateButton_->LoadBitmaps(
      QStringLiteral(":/velmora/donate_normal.png"), QStringLiteral(":/velmora/donate_pressed.png"),
      QStringLiteral(":/velmora/donate_focused.png"),
      QStringLiteral(":/velmora/donate_disabled.png"));
  // Every button and check box of the window shows the hand cursor, "Donate!"
  // included, as one family of clickable things.
  for (QWidget* clickable :
       std::initializer_list<QWidget*>{donateButton_, sourceButton_, targetButton_, runButton_,
                                       closeButton_, keepTempCheck_, extraOptimiserCheck_,
                                       classicCheck_}) {
    clickable->setCursor(Qt::PointingHandCursor);
  }

  connect(sourceEdit_, &QLineEdit::textChanged, this, &MainWindow::OnSourceChanged);
  connect(sourceButton_, &QPushButton::clicked, this, &MainWindow::OnChooseSource);
  connect(targetButton_, &QPushButton::clicked, this, &MainWindow::OnChooseTarget);
  connect(ruleList_, &QComboBox::currentIndexChanged, this, &MainWindow::OnRuleChanged);
  connect(qualityArrows_, &UpDownControl::Stepped, this, &MainWindow::OnQualityStep);
  connect(runButton_, &QPushButton::clicked, this, &MainWindow::OnRun);
  connect(closeButton_, &QPushButton::clicked, this, &MainWindow::reject);
  connect(donateButton_, &ImageButton::clicked, this, &MainWindow::OnDonate);
  // Only while this window is the active one: F1 inside the about box does nothing.
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, &MainWindow::ShowAboutBox);

  sourceEdit_->setFocus();
}

void MainWindow::EnableControls(bool enable) {
  for (QWidget* control : std::initializer_list<QWidget*>{
           sourceEdit_, targetEdit_, qualityEdit_, backgroundEdit_, sourceButton_, targetButton_,
           runButton_, ruleList_, resolutionList_, qualityArrows_, keepTempCheck_,
           extraOptimiserCheck_, classicCheck_, closeButton_}) {
    control->setEnabled(enable);
  }
}

void MainWindow::ShowAboutBox() {
  AboutBox box(this);
  box.SetTitleText(titleText_);
  if (aboutBoxObserver_) {
    QTimer::singleShot(0, &box, [this, &box] { aboutBoxObserver_(box); });
  }
  box.exec();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Escape would close the window; here it does nothing.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void MainWindow::reject() {
  if (!IsJobRunning()) {
    QDialog::reject();
    return;
  }
  // The job is asked to stop as a signal would ask the command line: it ends its
  // tool, removes its files and its unfinished target, and the window closes when it
  // has. Until then it uses this window, which stays.
  if (closeAfterJob_) return;
  QMessageBox box(QMessageBox::Question, Q(ui_text::kCaption), Q(ui_text::kAskStopJob),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Yes);
  if (ExecMessageBox(box) == QMessageBox::Yes && IsJobRunning()) {
    closeAfterJob_ = true;
    // Nobody is left to read the stopped job's message.
    host_->Shutdown();
    platform::RequestStop();
  }
  if (!IsJobRunning()) QDialog::reject();
}

void MainWindow::OnSourceChanged(const QString& text) {
  targetEdit_->setText(Q(DefaultTargetName(text.toStdString())));
}

void MainWindow::OnChooseSource() {
  FileDialogRequest request;
  request.title = Q(ui_text::kOpenTitle);
  request.filter = Q(ui_text::kFilterHwpxFirst);
  request.folder = StartFolder(sourceEdit_->text());
  const QString chosen = actions_.chooseFile ? actions_.chooseFile(request) : QString();
  if (!chosen.isEmpty()) sourceEdit_->setText(chosen);
}

void MainWindow::OnChooseTarget() {
  const QString source = Q(Trim(sourceEdit_->text().toStdString()));
  const bool hml = source.endsWith(QLatin1String(".hml"), Qt::CaseInsensitive);
  FileDialogRequest request;
  request.save = true;
  request.title = Q(hml ? ui_text::kSaveHmlTitle : ui_text::kSaveHwpxTitle);
  request.filter = Q(hml ? ui_text::kFilterHmlFirst : ui_text::kFilterHwpxFirst);
  request.defaultSuffix = QStringLiteral("hwpx");
  const QString target = targetEdit_->text();
  request.folder = StartFolder(target.isEmpty() ? sourceEdit_->text() : target);
  const QString chosen = actions_.chooseFile ? actions_.chooseFile(request) : QString();
  if (!chosen.isEmpty()) targetEdit_->setText(chosen);
}

void MainWindow::OnRuleChanged(int index) {
  TransferControlsToOptions();
  // Follows the list as it is shown, even when the transfer above stopped at an
  // unreadable quality and left the rule of the option set behind.
  backgroundEdit_->setEnabled(index == static_cast<int>(ConversionRule::kBmpToJpeg));
}

void MainWindow::OnQualityStep(bool up) {
  const int64_t read = LeadingInteger(qualityEdit_->text().toStdString());
  const int64_t stepped = StepQuality(read, up);
  if (stepped != read) qualityEdit_->setText(QString::number(stepped));
  qualityEdit_->setFocus();
}

bool MainWindow::TransferControlsToOptions() {
  const std::optional<unsigned> quality = ParseUnsignedDecimal(qualityEdit_->text().toStdString());
  if (!quality) {
    QMessageBox box(QMessageBox::Warning, Q(ui_text::kCaption), Q(ui_text::kInvalidQuality), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    ExecMessageBox(box);
    qualityEdit_->setFocus();
    qualityEdit_->selectAll();
    return false;
  }
  options_.jpegQuality = *quality;
  options_.keepTempFiles = keepTempCheck_->isChecked();
  options_.conversionRule = static_cast<ConversionRule>(ruleList_->currentIndex());
  options_.extraOptimisers = extraOptimiserCheck_->isChecked();
  options_.classic = classicCheck_->isChecked();
  const int resolution = resolutionList_->currentIndex();
  options_.ppi = resolution >= 0 && resolution < static_cast<int>(std::size(kResolutionPpi))
                     ? kResolutionPpi[resolution]
                     : 0;
  return true;
}

void MainWindow::OnRun() {
  if (IsJobRunning()) return;
  const std::string source = Trim(sourceEdit_->text().toStdString());
  const std::string target = Trim(targetEdit_->text().toStdString());
  if (source.empty() || target.empty()) return;

  // An unreadable quality is reported, and the job runs with the values of the
  // last successful transfer.
  TransferControlsToOptions();
  EnableControls(false);
  ShrinkOptions jobOptions = options_;
  jobOptions.backgroundText = backgroundEdit_->text().toStdString();

  worker_ = std::thread([this, source, target, jobOptions] {
    try {
      runner_(source, target, jobOptions, *host_);
    } catch (...) {
      // An exception leaving the thread would end the program; a job that runs out
      // of memory must not take the window and the user's other work down with it.
      host_->ShowMessage(job_text::kUnexpectedFailure, true);
    }
    QMetaObject::invokeMethod(this, [this] { OnJobFinished(); }, Qt::QueuedConnection);
  });
}

// The pictures done so far, in the title bar while a job runs.
void MainWindow::ShowPictureProgress(const PictureTally& tally) {
  if (!IsJobRunning()) return;
  setWindowTitle(Q(ui_text::kTitleProgress).arg(titleText_).arg(tally.done).arg(tally.total));
}

void MainWindow::OnJobFinished() {
  if (worker_.joinable()) worker_.join();
  setWindowTitle(titleText_);
  EnableControls(true);
  if (!host_->revealLogPath.empty() && actions_.revealFile) {
    actions_.revealFile(Q(host_->revealLogPath));
  }
  if (closeAfterJob_) {
    closeAfterJob_ = false;
    platform::ClearStopRequest();
    QDialog::reject();
  }
}

void MainWindow::OnDonate() {
  if (actions_.openUrl) actions_.openUrl(QUrl(Q(DonationAddress())));
}

void MainWindow::ShowJobMessage(const QString& text, bool failure) {
  QMessageBox box(failure ? QMessageBox::Warning : QMessageBox::Information, Q(ui_text::kCaption), text,
                  QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  ExecMessageBox(box);
}

int MainWindow::ExecMessageBox(QMessageBox& box) {
  if (messageBoxObserver_) {
    QTimer::singleShot(0, &box, [this, &box] { messageBoxObserver_(box); });
  }
  return box.exec();
}

}  // namespace velmora
