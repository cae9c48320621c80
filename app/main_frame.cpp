#include "app/main_frame.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

#include "app/checking_dlg.h"
#include "app/home_view.h"
#include "app/process_dlg.h"
#include "core/startup.h"
#include "views/download_view.h"

namespace tav {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// The template's initial view: blank, shown until the deferred initialisation.
class CTAVRINA1cExpertView : public FrameView {
  public:
    using FrameView::FrameView;
};

}  // namespace

CMainFrame::CMainFrame(const FrameContext& context, QWidget* parent)
    : VOvoziRurud(parent),
      link_(context.Link),
      clock_(context.Time),
      handoff_(context.WindowHandoff),
      services_(context.Services),
      profile_(context.Profile),
      downloadRows_(context.DownloadRows),
      formatter_(context.Formatter),
      ports_(context.Ports),
      exporter_(context.Export) {
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    SetFixedClientSize(QSize(1024, 768));
    link_.RecordLength = kRecordLength;
    CreateStatusBar();
    link_.LetterFilter = 0;
    if (const QScreen* screen = this->screen()) {
        // Centred; on a screen too small for it the caption band stays in
        // reach, so the window can still be moved and closed.
        const QRect available = screen->availableGeometry();
        const QPoint centred = available.center() - rect().center();
        move(std::max(centred.x(), available.left()), std::max(centred.y(), available.top()));
    }
    link_.LinkRunning = 1;

    container_ = new QWidget(this);
    stack_ = new QGridLayout(container_);
    stack_->setContentsMargins(0, 0, 0, 0);
    setCentralWidget(container_);
    AddView(viewix::kInitial, new CTAVRINA1cExpertView(container_));
    views_[viewix::kInitial]->setProperty("controlId", kPaneFirstId);
}

CMainFrame::~CMainFrame() {
    // A worker blocked in the hand-off must not keep the window thread waiting.
    handoff_.Close();
    services_.ClosePort();
    services_.StopWorker();
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setProperty("controlId", 59393);
    bar->setSizeGripEnabled(false);
    const char* const placeholders[kStatusPaneCount] = {"",
                                                        kPane13Underscores,
                                                        kPane20Underscores,
                                                        kPane13Underscores,
                                                        kPane19Hyphens,
                                                        kPane19Hyphens,
                                                        kPane19Hyphens};
    for (int pane = 0; pane < kStatusPaneCount; ++pane) {
        auto* label = new QLabel(QString::fromLatin1(placeholders[pane]), bar);
        label->setObjectName(QStringLiteral("statusPane%1").arg(pane));
        label->setProperty("paneIndex", pane);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        label->setAlignment(Qt::AlignCenter);
        if (pane == 0) {
            label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            bar->addWidget(label, 1);
        } else {
            label->setMinimumWidth(label->fontMetrics().horizontalAdvance(label->text()) + 10);
            bar->addPermanentWidget(label);
        }
        panes_[pane] = label;
    }
}

MessagePresenter& CMainFrame::Presenter() {
    return presenter_ ? *presenter_ : static_cast<MessagePresenter&>(realPresenter_);
}

void CMainFrame::SetViewFactory(int index, ViewFactory factory) {
    if (index == viewix::kAllData || index == viewix::kGraph)
        factories_[index] = std::move(factory);
}

void CMainFrame::AddView(int index, FrameView* view) {
    views_[index] = view;
    stack_->addWidget(view, 0, 0);
    if (index != viewix::kInitial) {
        view->setProperty("controlId", kPaneFirstId + index);
        view->hide();
    }
}

void CMainFrame::DeferredInit() {
    if (initialised_) return;
    initialised_ = true;
    // The progress dialog exists before the store opens: an older file's
    // first start reports there while its index is built.
    process_ = new CProcessDlg(this);
    process_->hide();
    services_.OpenStore();
    link_.AutoStep = -1;
    link_.LinkPhase = -1;
    link_.DownloadState = -1;
    link_.HandshakeSeen = -1;

    AddView(viewix::kHome, new CHbA1c720MainView(
                               *this, [this] { services_.OpenSettings(this); }, container_));
    AddView(viewix::kDownload, new CHbA1c720DownLoadView(*this, downloadRows_, formatter_, profile_,
                                                         exporter_, container_));
    auto makeView = [this](int index, const QString& title,
                           std::vector<PlaceholderView::Button> buttons) -> FrameView* {
        auto found = factories_.find(index);
        if (found != factories_.end() && found->second) return found->second(*this, container_);
        return new PlaceholderView(*this, title, buttons, container_);
    };
    AddView(viewix::kAllData, makeView(viewix::kAllData, QStringLiteral("All data"),
                                       {{1006, cmd::kShowHome, "Home"},
                                        {1011, cmd::kShowDownload, "Download"},
                                        {1014, cmd::kShowList, "List"},
                                        {1013, cmd::kShowGraph, "Graph"}}));
    AddView(viewix::kGraph, makeView(viewix::kGraph, QStringLiteral("Graph"),
                                     {{1027, cmd::kShowHome, "Home"},
                                      {1028, cmd::kShowDownload, "Download"},
                                      {1031, cmd::kShowList, "List"},
                                      {1030, cmd::kShowGraph, "Graph"}}));
    for (int index = viewix::kHome; index <= viewix::kGraph; ++index)
        views_[index]->OnInitialUpdate();

    checking_ = new CCheckingDlg(this);
    checking_->hide();

    services_.LoadSettings();
    SwitchView(viewix::kInitial, viewix::kHome);
    link_.AutoMode = 0;
}

FrameView* CMainFrame::View(int index) const {
    return index >= 0 && index < static_cast<int>(views_.size()) ? views_[index] : nullptr;
}

CHbA1c720MainView* CMainFrame::HomeView() const {
    return static_cast<CHbA1c720MainView*>(views_[viewix::kHome]);
}

CHbA1c720DownLoadView* CMainFrame::DownloadView() const {
    return static_cast<CHbA1c720DownLoadView*>(views_[viewix::kDownload]);
}

void CMainFrame::SwitchView(int from, int to) {
    FrameView* oldView = views_[from];
    FrameView* newView = views_[to];
    if (!oldView || !newView || from == to) return;
    oldView->setProperty("controlId", kPaneFirstId + from);
    newView->setProperty("controlId", kPaneFirstId);
    newView->show();
    oldView->hide();
    active_ = to;
    newView->update();
    newView->OnActivateView();
}

void CMainFrame::SwitchCommand(int to) {
    const int from = active_;
    lastActive_ = from;
    if (!views_[to]) return;
    if (from == to) {
        if (to == viewix::kDownload && link_.AutoMode == 0) SignalWorker(ev::kScanAll);
        return;
    }
    SwitchView(from, to);
}

void CMainFrame::DispatchLinkCommand(int code) {
    switch (code) {
        case cmd::kShowHome:
        case cmd::kShowDownload:
        case cmd::kShowList:
        case cmd::kShowGraph:
            SwitchCommand(code);  // command n shows table entry n
            return;
        case cmd::kRefreshView:
            if (active_ >= viewix::kDownload && views_[active_]) views_[active_]->OnRefresh();
            return;
        default:
            if (controller_) controller_->OnLinkCommand(code);
    }
}

void CMainFrame::SendLinkCommand(int code) {
    handoff_.Invoke([this, code] { DispatchLinkCommand(code); });
}

void CMainFrame::ShowMessage(const std::string& text) {
    handoff_.Invoke(
        [this, &text] { Presenter().Inform(this, QString::fromLatin1(kMessageCaption), Q(text)); });
}

bool CMainFrame::AskYesNo(const std::string& text) {
    bool yes = false;
    handoff_.Invoke([this, &text, &yes] {
        yes = Presenter().Ask(this, QString::fromLatin1(kMessageCaption), Q(text));
    });
    return yes;
}

void CMainFrame::ShowProgress(const std::string& text) {
    handoff_.Invoke([this, &text] {
        if (!process_) return;
        process_->SetMessage(Q(text));
        if (!process_->isVisible()) process_->show();
    });
}

void CMainFrame::ShowProgressCount(int done, int total) {
    handoff_.Invoke([this, done, total] {
        if (process_) process_->SetCount(done, total);
    });
}

void CMainFrame::ShowNewResults(int count) {
    if (process_) process_->SetNewResults(count);
}

void CMainFrame::HideProgress() {
    if (process_) process_->hide();
}

void CMainFrame::SetProgressButtonText(const std::string& text) {
    if (process_) process_->SetButtonText(Q(text));
}

bool CMainFrame::ProgressVisible() const {
    return process_ && process_->isVisible();
}

void CMainFrame::ShowChecking(const std::string& text) {
    if (!checking_) return;
    checking_->SetMessage(Q(text));
    if (!checking_->isVisible()) checking_->show();
}

void CMainFrame::HideChecking() {
    if (checking_) checking_->hide();
}

bool CMainFrame::CheckingVisible() const {
    return checking_ && checking_->isVisible();
}

void CMainFrame::StartTimer(int id, int intervalMs) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        connect(timer, &QTimer::timeout, this, [this, id] { OnTimerTick(id); });
    }
    timer->start(intervalMs);
}

void CMainFrame::KillTimer(int id) {
    auto found = timers_.find(id);
    if (found != timers_.end()) found->second->stop();
}

bool CMainFrame::TimerRunning(int id) const {
    auto found = timers_.find(id);
    return found != timers_.end() && found->second->isActive();
}

int CMainFrame::TimerInterval(int id) const {
    auto found = timers_.find(id);
    return found != timers_.end() ? found->second->interval() : -1;
}

void CMainFrame::OnTimerTick(int id) {
    if (controller_) controller_->OnTimer(id);
}

void CMainFrame::ShowView(int view) {
    const int to = view + 1;
    if (to < viewix::kHome || to > viewix::kGraph || !views_[to]) return;
    SwitchView(active_, to);
}

int CMainFrame::CurrentView() const {
    return active_ - 1;
}

void CMainFrame::RefreshDownloadView() {
    if (CHbA1c720DownLoadView* view = DownloadView()) view->FillDownloadList();
}

void CMainFrame::RefreshView(int view) {
    if (FrameView* shown = View(view + 1); shown && view >= 0) shown->OnRefresh();
}

void CMainFrame::ClearDownloadList() {
    if (CHbA1c720DownLoadView* view = DownloadView()) view->ClearList();
}

QLabel* CMainFrame::StatusPane(int pane) const {
    return pane >= 0 && pane < kStatusPaneCount ? panes_[pane] : nullptr;
}

QString CMainFrame::StatusPaneText(int pane) const {
    const QLabel* label = StatusPane(pane);
    return label ? label->text() : QString();
}

void CMainFrame::SetStatusPane(int pane, const std::string& text) {
    if (QLabel* label = StatusPane(pane)) label->setText(Q(text));
}

bool CMainFrame::RunPortSelect(std::string& selectedLabel) {
    PortSelectDialog dialog(ports_, Presenter(), this);
    portSelect_ = &dialog;
    emit PortSelectOpened(&dialog);
    const int result = closed_ ? QDialog::Rejected : dialog.exec();
    portSelect_ = nullptr;
    if (result != QDialog::Accepted) return false;
    selectedLabel = dialog.SelectedLabel();
    return true;
}

void CMainFrame::RefreshPortSelect() {
    if (portSelect_) portSelect_->Refresh();
}

void CMainFrame::SignalWorker(int event) {
    services_.SignalWorker(event);
}

void CMainFrame::RunCloseCommand() {
    if (closed_) return;
    closed_ = true;
    // An open port-select dialog runs its own loop; it ends as cancelled.
    if (portSelect_) portSelect_->reject();
    services_.CloseStore();
    link_.LinkRunning = 0;
    // The watcher and the worker may be waiting to report; let them go so
    // that closing the port and stopping the worker cannot wait on them.
    handoff_.Close();
    services_.ClosePort();
    if (initialised_ && active_ != viewix::kHome) SwitchView(active_, viewix::kHome);
    clock_.SleepMs(200);
    KillTimer(1);
    clock_.SleepMs(50);
    KillTimer(4);
    clock_.SleepMs(50);
    KillTimer(5);
    clock_.SleepMs(200);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    RunCloseCommand();
    event->accept();
}

}  // namespace tav
