// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/app/lumadesk_app.h"

#include <ostream>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QThreadPool>

#include "desk/app/single_instance.h"
#include "desk/dialogs/about_dlg.h"
#include "desk/model/command_table.h"
#include "desk/model/desk_context.h"
#include "desk/model/part_set.h"
#include "desk/window/lumadesk_doc.h"
#include "desk/window/lumadesk_view.h"
#include "desk/window/main_frame.h"
#include "gst/media_graph.h"
#include "lang/language_id.h"

namespace lumaghost {

namespace {

// How long a second start waits for the first to confirm.
constexpr int kHandOffTimeoutMs = 5000;
// How long the exit waits for graphs that went during their start to stop.
constexpr int kRetiredGraphsWaitMs = 3000;

}  // namespace

QStringList commandLineFiles(const QStringList &arguments) {
    QStringList files;
    bool options = true;
    for (const QString &argument : arguments) {
        if (options && argument == QStringLiteral("--")) {
            options = false;
            continue;
        }
        if (argument.isEmpty() || (options && argument.startsWith(u'-')))
            continue;
        files.append(argument);
    }
    return files;
}

CLumadeskApp::CLumadeskApp(DeskEnvironment environment, std::ostream &errors)
    : environment_(std::move(environment)), errors_(errors) {}

CLumadeskApp::~CLumadeskApp() {
    if (frame_)
        ExitInstance();
}

/// \brief Start-up, step by step.
CLumadeskApp::StartResult CLumadeskApp::InitInstance(const QStringList &arguments,
                                                     const QString &instanceDirectory,
                                                     const QString &instanceName) {
    QStringList files;
    for (const QString &file : commandLineFiles(arguments))
        files.append(QFileInfo(file).absoluteFilePath());

    // One instance per desktop: a later start hands its file to the first one.
    instance_ = std::make_unique<SingleInstance>(instanceDirectory, instanceName);
    if (instance_->start() == SingleInstance::Role::Second) {
        instance_->handOff(files.mid(0, 1), kHandOffTimeoutMs);
        return StartResult::AnotherInstance;
    }
    connect(instance_.get(), &SingleInstance::activationRequested, this, &CLumadeskApp::activate);

    // Paths, settings store, recent lists.
    context_ = std::make_unique<DeskContext>(environment_, userHive(), appLanguagePacks(), errors_);
    DeskContext &context = *context_;
    {
        const SettingsSnapshot stored = context.settings.snapshot();
        context.recentPictures.read(stored);
        context.recentSequences.read(stored);
        context.recentMovies.read(stored);

        // The language packs of the language directory, and the stored language.
        const QString languageDir = QString::fromStdString(stored.readString(
            settings::kSettings, settings::kLanguageDir, settings::kLanguageDirDefault));
        const QString parent = context.paths.languageParent(languageDir);
        context.packs = LanguagePackList::LoadLanguagePacks(QFile::encodeName(parent).toStdString(),
                                                            languageDir.toStdString(), errors_);
        context.packs.SelectLanguage(uint32_t(
            stored.readInt(settings::kSettings, settings::kLanguage, systemDefaultLanguageId())));
    }

    // The document, and the .lgs type for the desktop (off this thread).
    doc_ = std::make_unique<CLumadeskDoc>(context);
    if (environment_.registerFileType)
        QThreadPool::globalInstance()->start(environment_.registerFileType);

    // The main window with its view; the view starts the camera.
    frame_ = std::make_unique<CMainFrame>(context);
    doc_->setFrame(frame_.get());
    connect(frame_.get(), &CMainFrame::aboutRequested, this, &CLumadeskApp::onAppAbout);
    connect(frame_.get(), &CMainFrame::closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    frame_->view()->startCamera();
    if (!files.isEmpty() && !doc_->OnOpenDocument(files.front())) {
        frame_.reset();
        doc_.reset();
        return StartResult::Failed;
    }

    // Camera items are never re-labelled; then the language, the window, drops.
    context.packs.ExcludeMenuIdRange(cmd::kFirstCamera, cmd::kLastCamera);
    frame_->applyLanguage();
    frame_->updateCommandStates();
    frame_->show();
    frame_->setAcceptDrops(true);

    if (!pendingFiles_.isEmpty())
        activate(std::exchange(pendingFiles_, {}));
    return StartResult::Running;
}

void CLumadeskApp::activate(const QStringList &files) {
    if (!frame_) {
        pendingFiles_ += files;
        return;
    }
    frame_->bringToFront();
    doc_->openDocuments(files);
}

void CLumadeskApp::terminate() {
    // QApplication::quit() would close the windows, and with them ask the close check.
    if (frame_)
        frame_->parts().stopCameraSources();
    QCoreApplication::exit(0);
}

void CLumadeskApp::onAppAbout() {
    CAboutDlg dialog(*context_, frame_.get());
    connect(&dialog, &CAboutDlg::homepageRequested, frame_->view(), &CLumadeskView::onHomepage);
    dialog.exec();
}

void CLumadeskApp::ExitInstance() {
    if (!context_)
        return;
    // The window's place is stored as it goes; the view stops its parts and releases the
    // camera link.
    frame_.reset();
    doc_.reset();
    QThreadPool::globalInstance()->waitForDone();
    // A graph that went while it started stops on a thread of its own; a stuck one is left.
    (void)MediaGraph::awaitRetiredGraphs(kRetiredGraphsWaitMs);
    context_->recentSequences.write(context_->settings);
    context_->recentMovies.write(context_->settings);
    context_->packs = LanguagePackList();
    context_->recentPictures.write(context_->settings);
    instance_.reset();
}

}  // namespace lumaghost
