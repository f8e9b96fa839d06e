// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/window/main_frame.h"

#include <algorithm>
#include <ostream>

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QSizeGrip>
#include <QStatusBar>
#include <QThreadPool>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "desk/media/dialog_video_control.h"
#include "desk/media/directory_player.h"
#include "desk/media/movie_player.h"
#include "desk/media/preview_window.h"
#include "desk/media/real_camera.h"
#include "desk/model/camera_gate.h"
#include "desk/model/desk_context.h"
#include "desk/model/message_ids.h"
#include "desk/picture/picture_editor.h"
#include "desk/sequence/sequence_editor.h"
#include "desk/sequence/sequence_strip.h"
#include "desk/sequence/show_time.h"
#include "desk/service/play_service_command.h"
#include "desk/window/command_router.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/palette_icon_engine.h"
#include "desk/window/tray_icon.h"
#include "gst/media_graph.h"
#include "lang/pack_ids.h"
#include "lang/relabel.h"

namespace lumaghost {

using namespace cmd;

namespace {

QIcon resourceIcon(const char *name) {
    return QIcon(new PaletteIconEngine(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(name))));
}

/// A caption without its mnemonics, its ellipsis and its key label: a button's text.
QString plainCaption(QString text) {
    const qsizetype tab = text.indexOf(u'\t');
    if (tab >= 0)
        text.truncate(tab);
    text.remove(QStringLiteral("..."));
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size())
            ++i;
        out += text[i];
    }
    return out.trimmed();
}

/// A widget filling `place`, in a layout of its own.
void fill(QWidget *place, QWidget *widget) {
    auto *layout = new QHBoxLayout(place);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(widget);
}

}  // namespace

CMainFrame::CMainFrame(DeskContext &context, QWidget *parent)
    : QMainWindow(parent), context_(context), router_(new CommandRouter(*this, context)) {
    setObjectName(QStringLiteral("LumadeskMainFrame"));
    setWindowIcon(resourceIcon("lumadesk"));

    createActions();
    createToolBars();
    createControlBars();
    createStatusBar();
    createCentralArea();
    createParts();
    createMenus();
    rebuildPassList();
    // Qt's own buttons of the bars: the one that shows the buttons that do not fit.
    for (QToolButton *more : findChildren<QToolButton *>(QStringLiteral("qt_toolbar_ext_button")))
        more->setAccessibleName(context_.message(pack_ids::kMoreButtonsName));
    readPlacement();

    auto setTitle = [this](const QString &title) {
        setWindowTitle(title + QStringLiteral(" - ") + QString::fromLatin1(kAppTitle));
    };
    if (context_.doc) {
        setTitle(context_.doc->title());
        connect(context_.doc, &CLumadeskDoc::titleChanged, this, setTitle);
    }
}

CMainFrame::~CMainFrame() {
    if (!placementStored_)
        storePlacement();
    tray_.reset();
}

QAction *CMainFrame::makeAction(const CommandInfo &info) {
    auto *action = new QAction(QString::fromUtf8(info.caption), this);
    action->setProperty(kCommandIdProperty, info.id);
    const QString prompt = QString::fromUtf8(info.prompt);
    const qsizetype lineBreak = prompt.indexOf(u'\n');
    action->setStatusTip(lineBreak < 0 ? prompt : prompt.left(lineBreak));
    if (lineBreak >= 0)
        action->setToolTip(prompt.mid(lineBreak + 1));
    QList<QKeySequence> keys;
    for (QKeyCombination key : info.keys) {
        if (key.key() != Qt::Key_unknown)
            keys.append(QKeySequence(key));
    }
    action->setShortcuts(keys);
    if (info.icon)
        action->setIcon(resourceIcon(info.icon));
    action->setCheckable(info.checkable);
    router_->bind(action, info);
    commands_.insert(info.id, action);
    addAction(action);  // keys work wherever the action is shown, or not shown at all
    return action;
}

void CMainFrame::createActions() {
    for (const CommandInfo &info : commandTable())
        makeAction(info);
    for (int i = 0; i < 3; ++i)
        serviceIcons_[i] = resourceIcon(i == 0   ? "service-running"
                                        : i == 1 ? "service-stopped"
                                                 : "service-missing");
}

void CMainFrame::createMenus() {
    QMenuBar *bar = menuBar();
    auto addCommands = [this](QMenu *menu, std::initializer_list<int> ids) {
        for (int id : ids) {
            if (id == 0)
                menu->addSeparator();
            else
                menu->addAction(commands_.value(id));
        }
    };

    QMenu *file = bar->addMenu(QStringLiteral("&File"));
    addCommands(file, {kOpen, kSave, kSaveAs, 0, kPlayMovie});
    realCameraMenu_ = new QMenu(QStringLiteral("Switch To Real Camera"), this);
    realCameraMenu_->addAction(commands_.value(kSetupRealCamera));
    file->addMenu(realCameraMenu_);
    addCommands(file, {kPlayDirectory, kStopAbove, 0});
    recentPictureMenu_ = file->addMenu(QStringLiteral("Recent Picture Files"));
    recentSequenceMenu_ = file->addMenu(QStringLiteral("Recent Sequence Files"));
    recentMovieMenu_ = file->addMenu(QStringLiteral("Recent Movie Files"));
    file->addSeparator();
    addCommands(file, {kExit});

    addCommands(bar->addMenu(QStringLiteral("&View")),
                {kSequence, kStatusBar, 0, kZoomIn, kZoomOut, kZoomOff});
    addCommands(bar->addMenu(QStringLiteral("&Option")),
                {kShowPickFrame, kSetPicture, kPaste, kShowPrevious, kShowNext, 0, kSetup});
    addCommands(bar->addMenu(QStringLiteral("&Camera")), {kPreview, kStopPreview});
    addCommands(bar->addMenu(QStringLiteral("&Sequence")),
                {kAddItem, kDeleteItem, kPlaySequence, kStopSequence, 0, kService});
    addCommands(bar->addMenu(QStringLiteral("&Help")), {kHelpTopics, kHomepage, 0, kAbout});

    // The Open button's drop-down: a title, then the File menu's three recent lists.
    openDropDown_ = new QMenu(this);
    openDropDown_->setAccessibleName(context_.message(pack_ids::kOpenRecentName));
    openDropDown_->addAction(commands_.value(kOpenRecentTitle));
    openDropDown_->addMenu(recentPictureMenu_);
    openDropDown_->addMenu(recentSequenceMenu_);
    openDropDown_->addMenu(recentMovieMenu_);
    // The Sequence button's drop-down.
    sequenceDropDown_ = new QMenu(this);
    sequenceDropDown_->setAccessibleName(context_.message(pack_ids::kPlayDropDownName));
    sequenceDropDown_->addAction(commands_.value(kPlayMovie));
    sequenceDropDown_->addMenu(realCameraMenu_);
    sequenceDropDown_->addSeparator();
    sequenceDropDown_->addAction(commands_.value(kStopAbove));
    for (QMenu *dropDown : {openDropDown_, sequenceDropDown_})
        connect(dropDown, &QMenu::aboutToShow, this,
                [this, dropDown] { relabelDropDown(dropDown); });

    for (QToolBar *toolBar : {mainToolBar_, sequenceToolBar_}) {
        for (auto [id, menu] : {std::pair{kOpen, openDropDown_}, {kSequence, sequenceDropDown_}}) {
            if (QToolButton *button =
                    toolButton(toolBar == mainToolBar_ ? kMainToolBar : kSequenceToolBar, id)) {
                button->setMenu(menu);
                button->setPopupMode(QToolButton::MenuButtonPopup);
            }
        }
    }

    // Menus show the states as they are when they open.
    for (QMenu *menu : findChildren<QMenu *>())
        connect(menu, &QMenu::aboutToShow, this, &CMainFrame::updateCommandStates);

    rebuildRecentMenus();
}

QToolBar *CMainFrame::makeToolBar(int id, const QString &title, std::span<const int> buttons) {
    auto *toolBar = new QToolBar(title, this);
    toolBar->setObjectName(QStringLiteral("toolBar%1").arg(id));
    toolBar->setAccessibleName(title);
    toolBar->setProperty("controlBarId", id);
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->setIconSize(QSize(16, 16));
    for (int command : buttons) {
        if (command == 0)
            toolBar->addSeparator();
        else
            toolBar->addAction(commands_.value(command));
    }
    addToolBar(Qt::TopToolBarArea, toolBar);
    return toolBar;
}

void CMainFrame::createToolBars() {
    hiddenToolBar_ =
        makeToolBar(kHiddenToolBar, context_.message(pack_ids::kHiddenToolBarName), {});
    hiddenToolBar_->hide();
    mainToolBar_ = makeToolBar(kMainToolBar, context_.message(pack_ids::kMainToolBarName),
                               mainToolBarButtons());
    sequenceToolBar_ =
        makeToolBar(kSequenceToolBar, context_.message(pack_ids::kSequenceToolBarName),
                    sequenceToolBarButtons());
    setServiceButtonImage(0);
}

void CMainFrame::createControlBars() {
    auto makeBar = [this](int id, const QString &title, QWidget *&place) {
        addToolBarBreak(Qt::TopToolBarArea);
        auto *bar = new QToolBar(title, this);
        bar->setObjectName(QStringLiteral("controlBar%1").arg(id));
        bar->setAccessibleName(title);
        bar->setProperty("controlBarId", id);
        bar->setMovable(false);
        bar->setFloatable(false);
        place = new QWidget(bar);
        place->setObjectName(QStringLiteral("controlBarPlace%1").arg(id));
        place->setAccessibleName(title);
        place->setMinimumHeight(24);
        bar->addWidget(place);
        addToolBar(Qt::TopToolBarArea, bar);
        bar->hide();
        return bar;
    };
    movieControlBar_ = makeBar(kMovieControlBar, context_.message(pack_ids::kMovieControlBarName),
                               movieControlPlace_);
    movieControl_ = new CDialogVideoControl(context_, movieControlPlace_);
    displayTimeBar_ = makeBar(kDisplayTimeBar, context_.message(pack_ids::kDisplayTimeBarName),
                              displayTimePlace_);
    displayTime_ = new CShowTime(displayTimePlace_);
    fill(displayTimePlace_, displayTime_);
    sequenceToolBar_->hide();
}

void CMainFrame::createCentralArea() {
    auto *center = new QWidget(this);
    center->setAccessibleName(context_.message(pack_ids::kPictureAreaName));
    auto *layout = new QVBoxLayout(center);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    view_ = new CLumadeskView(context_, *this, center);
    strip_ = new QFrame(center);
    strip_->setObjectName(QStringLiteral("sequenceStrip"));
    strip_->setAccessibleName(context_.message(pack_ids::kSequenceStripName));
    strip_->setFixedHeight(SequenceStrip::kTotalHeight);
    strip_->hide();
    sequenceStrip_ = new SequenceStrip(strip_);
    sequenceStrip_->setTimeFormat(context_.message(pack_ids::kDisplayTimeLabel));
    fill(strip_, sequenceStrip_);
    layout->addWidget(view_, 1);
    layout->addWidget(strip_);
    setCentralWidget(center);
    // The camera preview: a window of its own, hidden until the Preview command.
    preview_ = new PreviewWindow(this);
}

PartContext CMainFrame::partContext() {
    return PartContext{
        context_, parts_, view_->camera(), view_->settings(), view_->serviceControl(), this};
}

template <typename Part>
void CMainFrame::followTitle(Part *part) {
    if (CLumadeskDoc *doc = context_.doc)
        connect(part, &Part::titleChanged, doc, &CLumadeskDoc::setTitle);
}

/// \brief The parts for pictures, the sequence and the play service, then the media parts: the
/// picture view and the sequence worker share the view's camera link through one gate.
void CMainFrame::createParts() {
    connect(&parts_, &PartSet::changed, this, &CMainFrame::requestCommandUpdate);
    connect(&parts_, &PartSet::onCameraChanged, this, &CMainFrame::setOnCamera);
    const PartContext part = partContext();
    auto camera = std::make_shared<CameraGate>(view_->cameraLink());

    auto picture = std::make_unique<PictureEditor>(*view_, part, camera);
    connect(picture.get(), &PictureEditor::stateChanged, this, &CMainFrame::requestCommandUpdate);
    followTitle(picture.get());
    parts_.setPicture(std::move(picture));

    auto sequence = std::make_unique<SequenceEditor>(part, *sequenceStrip_, *displayTime_, camera);
    connect(sequence.get(), &SequenceEditor::stateChanged, this, &CMainFrame::requestCommandUpdate);
    connect(sequence.get(), &SequenceEditor::itemsChanged, view_->viewport(),
            qOverload<>(&QWidget::update));
    // The display-time bar is enabled by the first selection after sequence mode showed it.
    connect(sequence.get(), &SequenceEditor::itemSelected, displayTimeBar_,
            [this] { displayTimeBar_->setEnabled(true); });
    connect(sequence.get(), &SequenceEditor::recentFilesChanged, this,
            &CMainFrame::rebuildRecentMenus);
    parts_.setSequence(std::move(sequence));

    auto service = std::make_unique<PlayServiceCommand>(part, *strip_);
    connect(service.get(), &PlayServiceCommand::stateChanged, this,
            &CMainFrame::requestCommandUpdate);
    parts_.setService(std::move(service));

    createMediaParts(MediaServices::system());
}

/// \brief The three media parts, sharing the movie part's graph: the real camera runs its
/// passthrough there and Stop Above ends directory playback there.
void CMainFrame::createMediaParts(MediaServices services) {
    // GStreamer reads its plugin registry once; off this thread, so the window opens at once.
    // The exit waits for the pool.
    QThreadPool::globalInstance()->start([] { (void)initMediaGraphs(); });
    const PartContext part = partContext();
    auto movie = std::make_unique<MoviePlayer>(part, *movieControl_, services);
    auto directory = std::make_unique<DirectoryPlayer>(part);
    movie->setDirectoryPlayer(directory.get());
    auto camera = std::make_unique<RealCamera>(part, *movie, *preview_, services);

    connect(movie.get(), &MoviePlayer::stateChanged, this, &CMainFrame::requestCommandUpdate);
    connect(movie.get(), &MoviePlayer::recentFilesChanged, this, &CMainFrame::rebuildRecentMenus);
    connect(movie.get(), &MoviePlayer::transportChanged, this,
            [this](bool attached) { showControlBar(kMovieControlBar, attached); });
    connect(movie.get(), &MoviePlayer::startProgress, this, &CMainFrame::setStartProgress);
    followTitle(movie.get());
    connect(directory.get(), &DirectoryPlayer::stateChanged, this,
            &CMainFrame::requestCommandUpdate);
    followTitle(directory.get());
    connect(camera.get(), &RealCamera::stateChanged, this, &CMainFrame::requestCommandUpdate);
    // Nothing feeds the camera, and no preview runs, once the window has closed.
    connect(this, &CMainFrame::closed, movie.get(), &MoviePlayer::stopGraphPlayback);
    connect(this, &CMainFrame::closed, directory.get(), &DirectoryPlayer::stop);
    connect(this, &CMainFrame::closed, camera.get(), &RealCamera::stopPreview);
    parts_.setMovie(std::move(movie));
    parts_.setRealCamera(std::move(camera));
    parts_.setDirectory(std::move(directory));
}

void CMainFrame::createStatusBar() {
    // The status bar's accessible name is its message pane's text.
    QStatusBar *bar = statusBar();
    for (QWidget *grip : bar->findChildren<QSizeGrip *>())
        grip->setAccessibleName(context_.message(pack_ids::kSizeGripName));
    sourcePane_ = new QLabel(bar);
    sourcePane_->setObjectName(QStringLiteral("cameraSourcePane"));
    sourcePane_->setTextFormat(Qt::PlainText);
    sourcePane_->setFocusPolicy(Qt::TabFocus);  // a screen reader's user may tab to it
    bar->addPermanentWidget(sourcePane_);
    // Indeterminate: a start says nothing of how far it has come.
    startProgress_ = new QProgressBar(bar);
    startProgress_->setObjectName(QStringLiteral("startProgress"));
    startProgress_->setRange(0, 0);
    startProgress_->setMaximumWidth(120);
    startProgress_->hide();
    bar->addPermanentWidget(startProgress_);
    setOnCamera(onCamera_);
    bar->showMessage(QStringLiteral("Ready"));
}

QMenu *CMainFrame::createPopupMenu() {
    // The bars follow the mode; no menu of Qt's own shows or hides them.
    return nullptr;
}

QAction *CMainFrame::command(int id) const {
    if (QAction *action = commands_.value(id))
        return action;
    for (const auto &[commandId, action] : passList_) {
        if (commandId == id)
            return action;
    }
    return nullptr;
}

QToolButton *CMainFrame::toolButton(int toolBarId, int commandId) const {
    QToolBar *toolBar = toolBarId == kMainToolBar       ? mainToolBar_
                        : toolBarId == kSequenceToolBar ? sequenceToolBar_
                                                        : nullptr;
    QAction *action = commands_.value(commandId);
    if (!toolBar || !action)
        return nullptr;
    return qobject_cast<QToolButton *>(toolBar->widgetForAction(action));
}

QWidget *CMainFrame::controlBar(int id) const {
    switch (id) {
        case kMainToolBar:
            return mainToolBar_;
        case kSequenceToolBar:
            return sequenceToolBar_;
        case kHiddenToolBar:
            return hiddenToolBar_;
        case kMovieControlBar:
            return movieControlPlace_;
        case kDisplayTimeBar:
            return displayTimePlace_;
        case kSequenceStrip:
            return strip_;
        default:
            return nullptr;
    }
}

void CMainFrame::showControlBar(int id, bool show) {
    QWidget *bar = controlBar(id);
    if (id == kMovieControlBar)
        bar = movieControlBar_;
    else if (id == kDisplayTimeBar)
        bar = displayTimeBar_;
    if (bar)
        bar->setVisible(show);
}

bool CMainFrame::stripShown() const {
    return !strip_->isHidden();
}

void CMainFrame::toggleMode() {
    pictureMode_ = !pictureMode_;
    showControlBar(kMainToolBar, pictureMode_);
    showControlBar(kSequenceToolBar, !pictureMode_);
    showControlBar(kSequenceStrip, !pictureMode_);
    showControlBar(kDisplayTimeBar, !pictureMode_);
    // The strip takes clicks at once; the display-time bar waits for a selected item.
    if (stripShown())
        strip_->setEnabled(true);
    if (!displayTimeBar_->isHidden())
        displayTimeBar_->setEnabled(false);
    requestCommandUpdate();
}

void CMainFrame::growViewTo(int height) {
    // Before the window is shown its parts have no sizes yet: once it is.
    if (!isVisible()) {
        pendingViewHeight_ = std::max(pendingViewHeight_, height);
        return;
    }
    pendingViewHeight_ = 0;
    // The bars just shown take their room first.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (QLayout *frameLayout = layout())
        frameLayout->activate();
    if (QLayout *centerLayout = centralWidget()->layout())
        centerLayout->activate();
    const int missing = height - view_->viewport()->height();
    if (missing <= 0 || isMaximized() || isFullScreen())
        return;
    int wanted = this->height() + missing;
    if (const QScreen *area = screen()) {
        // The frame's title bar and borders stay on the screen too.
        const int decoration = frameGeometry().height() - geometry().height();
        const QRect available = area->availableGeometry();
        wanted = std::min(wanted, available.height() - decoration);
        const int bottom = frameGeometry().top() + decoration + wanted;
        if (bottom > available.bottom() + 1)
            move(x(), std::max(available.top(), y() - (bottom - available.bottom() - 1)));
    }
    if (wanted > this->height())
        resize(width(), wanted);
}

void CMainFrame::setServiceButtonImage(int state) {
    serviceImage_ = ((state % 3) + 3) % 3;
    if (QAction *service = commands_.value(kService))
        service->setIcon(serviceIcons_[serviceImage_]);
}

QMenu *CMainFrame::trayMenu() const {
    return tray_ ? tray_->menu() : nullptr;
}

void CMainFrame::updateCommandStates() {
    updatePending_ = false;
    router_->updateStates();
}

void CMainFrame::requestCommandUpdate() {
    if (updatePending_)
        return;
    updatePending_ = true;
    QTimer::singleShot(0, this, &CMainFrame::updateCommandStates);
}

void CMainFrame::rebuildPassList() {
    passList_.clear();
    for (auto it = commands_.cbegin(); it != commands_.cend(); ++it)
        passList_.emplace_back(it.key(), it.value());
    for (QAction *action : recentActions_)
        passList_.emplace_back(action->property(kCommandIdProperty).toInt(), action);
    for (QAction *action : cameraActions_)
        passList_.emplace_back(action->property(kCommandIdProperty).toInt(), action);
    std::sort(passList_.begin(), passList_.end(),
              [](const auto &a, const auto &b) { return a.first < b.first; });
}

void CMainFrame::fillRecentMenu(QMenu *menu, RecentFileList &list, int firstId, bool withPrompt) {
    menu->clear();
    const QString prompt =
        withPrompt ? loadCommandPrompt(context_.packs, firstId).statusTip : QString();
    if (list.isEmpty()) {
        // The empty list's placeholder, disabled, named by the pack.
        auto *action = menu->addAction(QStringLiteral("Recent File"));
        action->setProperty(kCommandIdProperty, firstId);
        std::string text;
        const std::string key = packKey(firstId);
        if (context_.packs.ReadPackText("MENU", key, key, text) != 0)
            action->setText(packDisplayText(text));
        action->setEnabled(false);
        router_->bindRecent(action, list, -1);
        recentActions_.push_back(action);
        return;
    }
    for (int i = 0; i < list.count(); ++i) {
        auto *action = menu->addAction(list.menuText(i));
        const int id = firstId + i;
        action->setProperty(kCommandIdProperty, id);
        action->setStatusTip(prompt);
        action->setToolTip(list.at(i));
        router_->bindRecent(action, list, i);
        recentActions_.push_back(action);
    }
}

void CMainFrame::rebuildRecentMenus() {
    recentActions_.clear();
    fillRecentMenu(recentPictureMenu_, context_.recentPictures, kFirstRecentPicture, true);
    fillRecentMenu(recentSequenceMenu_, context_.recentSequences, kFirstRecentSequence, true);
    // Movie entries have no prompt (their ids are those of other commands' prompts).
    fillRecentMenu(recentMovieMenu_, context_.recentMovies, kFirstRecentMovie, false);
    rebuildPassList();
    requestCommandUpdate();
}

void CMainFrame::setCameraItems(const std::vector<std::string> &names) {
    for (QAction *action : cameraActions_)
        delete action;
    cameraActions_.clear();
    delete cameraSeparator_;
    cameraSeparator_ = nullptr;
    if (!names.empty())
        cameraSeparator_ = realCameraMenu_->addSeparator();
    // Only the ids kFirstCamera to kLastCamera reach a camera.
    const size_t count = std::min<size_t>(names.size(), kLastCamera - kFirstCamera + 1);
    for (size_t i = 0; i < count; ++i) {
        const int id = kFirstCamera + int(i);
        auto *action = realCameraMenu_->addAction(context_.message(pack_ids::kCameraItemPrefix) +
                                                  QString::fromStdString(names[i]));
        action->setProperty(kCommandIdProperty, id);
        action->setCheckable(true);
        router_->bindCamera(action, int(i));
        cameraActions_.push_back(action);
    }
    rebuildPassList();
    requestCommandUpdate();
}

void CMainFrame::refreshButtonTexts() {
    for (auto it = commands_.cbegin(); it != commands_.cend(); ++it) {
        QAction *action = it.value();
        const QString caption = plainCaption(action->text());
        action->setIconText(caption);
        if (action->toolTip().isEmpty() || action->toolTip().contains(u'\t') ||
            loadCommandPrompt(context_.packs, it.key()).toolTip.isEmpty())
            action->setToolTip(caption);
        action->setWhatsThis(action->statusTip());
    }
}

void CMainFrame::relabelDropDown(QMenu *menu) {
    relabelMenu(context_.packs, *menu);
    // The recent lists' entries are file names, not pack texts.
    rebuildRecentMenus();
    updateCommandStates();
}

/// \brief WM_APPLY_LANGUAGE: the current language pack in the menus and the status bar.
void CMainFrame::applyLanguage() {
    if (!qtTranslations_.select(context_.packs.CurrentLanguageId()))
        context_.errors << "Lumadesk: no translation of Qt's own texts for language "
                        << context_.packs.CurrentLanguageId()
                        << " (Debian's qt6-translations-l10n has them)" << std::endl;
    lumaghost::applyLanguage(context_.packs, *this);
    // Commands that no menu of the bar holds (the toolbar's Help, the drop-downs' items) take
    // their texts from the pack too, where it has them.
    std::string text;
    for (auto it = commands_.cbegin(); it != commands_.cend(); ++it) {
        if (context_.packs.IsExcludedMenuId(it.key()))
            continue;
        if (context_.packs.ReadPackText("MENU", packKey(it.key()), "", text) != 0 && !text.empty())
            it.value()->setText(packDisplayText(text));
    }
    rebuildRecentMenus();
    // The camera items' prefix is the pack's; their names stay as the devices give them.
    if (view_ && view_->camera().started)
        setCameraItems(view_->realCameras());
    refreshButtonTexts();
    if (tray_)
        relabelMenu(context_.packs, *tray_->menu());
    setOnCamera(onCamera_);
    sequenceStrip_->setTimeFormat(context_.message(pack_ids::kDisplayTimeLabel));
}

void CMainFrame::setOnCamera(const OnCamera &source) {
    onCamera_ = source;
    const QString text = describeOnCamera(context_.packs, source);
    sourcePane_->setText(text);
    sourcePane_->setToolTip(text);
    sourcePane_->setAccessibleName(text);
}

void CMainFrame::setStartProgress(const QString &text) {
    startProgress_->setAccessibleName(text);
    startProgress_->setToolTip(text);
    startProgress_->setVisible(!text.isEmpty());
    if (text.isEmpty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(text);
}

bool CMainFrame::trayAvailable() const {
    return context_.environment.trayAvailable && context_.environment.trayAvailable();
}

void CMainFrame::goToTray() {
    if (tray_)
        return;
    if (!trayAvailable()) {
        // No tray to come back from: the window stays on the task bar, minimised.
        if (!isMinimized())
            showMinimized();
        return;
    }
    stateBeforeTray_ = windowState() & ~Qt::WindowMinimized;
    tray_ = std::make_unique<TrayIcon>(windowIcon(), context_.packs);
    connect(tray_.get(), &TrayIcon::restoreRequested, this, &CMainFrame::restoreFromTray,
            Qt::QueuedConnection);
    connect(tray_.get(), &TrayIcon::exitRequested, this, &QWidget::close, Qt::QueuedConnection);
    tray_->show();
    hide();
}

void CMainFrame::restoreFromTray() {
    tray_.reset();
    setWindowState(stateBeforeTray_);
    show();
    raise();
    activateWindow();
}

void CMainFrame::bringToFront() {
    if (tray_) {
        restoreFromTray();
        return;
    }
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

/// \brief The close check: a playing movie or real camera is offered to be stopped.
bool CMainFrame::closeAllowed() {
    MoviePart *movie = parts_.movie();
    if (!movie || !movie->graphExists())
        return true;
    switch (movie->queryGraphState(1000)) {
        case GraphState::Unknown:
            return false;
        case GraphState::Stopped:
            return true;
        case GraphState::Running:
            break;
    }
    if (context_.ask(this, context_.message(pack_ids::kStopCaption),
                     context_.message(msg::kStopPlayback), MessageButtons::YesNo,
                     MessageIcon::Question) == MessageAnswer::Yes) {
        movie->stopGraphPlayback();
        return true;
    }
    if (context_.ask(this, context_.message(pack_ids::kMiniSizeCaption),
                     context_.message(msg::kMiniSizeToTray), MessageButtons::YesNo,
                     MessageIcon::Question) == MessageAnswer::Yes)
        view_->goToTray(true);
    return false;
}

void CMainFrame::closeEvent(QCloseEvent *event) {
    if (!closeAllowed()) {
        event->ignore();
        return;
    }
    storePlacement();
    event->accept();
    tray_.reset();
    emit closed();
}

void CMainFrame::changeEvent(QEvent *event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && !tray_) {
        // After the minimisation itself, as the system command does it.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized())
                view_->goToTray(false);
        });
    }
}

void CMainFrame::showEvent(QShowEvent *event) {
    QMainWindow::showEvent(event);
    if (pendingViewHeight_ > 0) {
        // After the window manager has framed the window.
        QTimer::singleShot(0, this, [this] {
            if (pendingViewHeight_ > 0 && isVisible())
                growViewTo(pendingViewHeight_);
        });
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent *event) {
    const QMimeData *data = event->mimeData();
    if (data->hasUrls()) {
        for (const QUrl &url : data->urls()) {
            if (url.isLocalFile()) {
                event->acceptProposedAction();
                return;
            }
        }
    }
}

void CMainFrame::dropEvent(QDropEvent *event) {
    QStringList files;
    for (const QUrl &url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            files.append(url.toLocalFile());
    }
    event->acceptProposedAction();
    activateWindow();
    // Opened after the drop has ended: the source is not held up by messages.
    QTimer::singleShot(0, this, [this, files] { context_.doc->openDocuments(files); });
}

QRect CMainFrame::placement() const {
    const bool iconic = isMinimized() || isHidden();
    const QRect client = iconic ? normalGeometry() : geometry();
    // The frame's top-left, as move() takes it; the offset of the client area stays as it is.
    const QPoint frameOffset = geometry().topLeft() - pos();
    return QRect(client.topLeft() - frameOffset, client.size());
}

void CMainFrame::storePlacement() {
    placementStored_ = true;
    const QRect r = placement();
    context_.settings.writeInts(settings::kMain, {{settings::kLastX.name, r.x()},
                                                  {settings::kLastY.name, r.y()},
                                                  {settings::kLastCx.name, r.width()},
                                                  {settings::kLastCy.name, r.height()}});
}

void CMainFrame::readPlacement() {
    using namespace settings;
    const SettingsSnapshot stored = context_.settings.snapshot();
    QRect r(stored.readInt(kMain, kLastX), stored.readInt(kMain, kLastY),
            stored.readInt(kMain, kLastCx), stored.readInt(kMain, kLastCy));
    if (r.width() <= 0 || r.height() <= 0)
        r.setSize(QSize(kLastCx.defaultValue, kLastCy.defaultValue));
    // A place off every screen (a screen gone since) is moved onto the primary screen.
    const QList<QScreen *> screens = QGuiApplication::screens();
    const bool visible = std::any_of(screens.begin(), screens.end(), [&r](QScreen *screen) {
        return screen->availableGeometry().intersects(r);
    });
    if (!visible && QGuiApplication::primaryScreen()) {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        r.setSize(r.size().boundedTo(area.size()));
        r.moveTopLeft(area.topLeft() + QPoint(kLastX.defaultValue, kLastY.defaultValue));
        if (!area.contains(r))
            r.moveTopLeft(area.topLeft());
    }
    move(r.topLeft());
    resize(r.size());
}

}  // namespace lumaghost
