// SPDX-License-Identifier: LGPL-2.1-or-later
// The application object: start-up and exit in their order, one instance per desktop, the
// settings store, the recent lists, the language packs, the document and the main window.
#pragma once

#include <iosfwd>
#include <memory>

#include <QObject>
#include <QStringList>

#include "desk/model/desk_environment.h"

namespace lumaghost {

struct DeskContext;
class CLumadeskDoc;
class CMainFrame;
class SingleInstance;

class CLumadeskApp : public QObject {
    Q_OBJECT
public:
    enum class StartResult {
        Running,          // the main window is shown
        AnotherInstance,  // handed over to the running one: end quietly
        Failed,           // the file of the command line could not be opened
    };

    /// `errors` receives one line for each file that cannot be read.
    explicit CLumadeskApp(DeskEnvironment environment, std::ostream &errors);
    ~CLumadeskApp() override;

    /// Start-up. `arguments` are the program's without its name; the first that does not
    /// start with '-' is a file to open. The lock and socket of the single-instance rule live
    /// in `instanceDirectory` (empty: no rule).
    StartResult InitInstance(const QStringList &arguments, const QString &instanceDirectory,
                             const QString &instanceName);
    /// Exit: the window goes (with the view, its parts and the camera link), then the recent
    /// lists are written and the language packs released.
    void ExitInstance();

    CMainFrame *frame() const { return frame_.get(); }
    CLumadeskDoc *doc() const { return doc_.get(); }
    DeskContext &context() const { return *context_; }
    SingleInstance *instance() const { return instance_.get(); }

    /// A termination signal: the sources that feed the camera stop and the event loop ends,
    /// without the close check's questions; ExitInstance() then writes the settings as a
    /// close does.
    void terminate();

    /// The About box.
    void onAppAbout();
    /// Another start's request: to the front, and open its files.
    void activate(const QStringList &files);

private:
    DeskEnvironment environment_;
    std::ostream &errors_;
    std::unique_ptr<SingleInstance> instance_;
    std::unique_ptr<DeskContext> context_;
    std::unique_ptr<CLumadeskDoc> doc_;
    std::unique_ptr<CMainFrame> frame_;
    QStringList pendingFiles_;  // from other starts, before the window exists
};

/// The files of a command line: every argument not starting with '-' (after "--", all).
QStringList commandLineFiles(const QStringList &arguments);

}  // namespace lumaghost
