// SPDX-License-Identifier: LGPL-2.1-or-later
// What the application object owns and its windows share: the services, the settings store,
// the language packs, the three recent-file lists and the paths.
#pragma once

#include <iosfwd>

#include "desk/model/desk_environment.h"
#include "desk/model/desk_paths.h"
#include "desk/model/recent_file_list.h"
#include "desk/model/settings_store.h"
#include "lang/language_packs.h"

namespace lumaghost {

class CLumadeskDoc;

/// The program's title (string 57344 in the design's resources).
inline constexpr char kAppTitle[] = "Lumadesk";
/// The caption of the messages of a camera or media graph that failed.
inline constexpr char kGraphFailedCaption[] = "DirectShow FAILED";

/// Message boxes' caption: the program's title.
inline QString appTitle() {
    return QString::fromLatin1(kAppTitle);
}

struct DeskContext {
    DeskContext(DeskEnvironment services, RegistryHive userHive, LanguagePackList &packs,
                std::ostream &errors)
        : services(std::move(services)),
          settings(std::move(userHive), errors),
          packs(packs),
          paths(this->services.applicationFolder),
          errors(errors) {}

    DeskEnvironment services;
    SettingsStore settings;
    LanguagePackList &packs;
    DeskPaths paths;
    std::ostream &errors;
    RecentFileList recentPictures{settings::kRecentFileList, "File%d"};
    RecentFileList recentSequences{settings::kSequenceFiles, "file%d"};
    RecentFileList recentMovies{settings::kMovieFiles, "file%d"};
    CLumadeskDoc *doc = nullptr;

    /// A message of the current language pack, for display.
    QString message(int id) const;
    /// A message box through the services' prompter.
    MessageAnswer ask(QWidget *owner, const QString &caption, const QString &text,
                      MessageButtons buttons = MessageButtons::Ok,
                      MessageIcon icon = MessageIcon::None) const {
        return services.prompter->ask(owner, caption, text, buttons, icon);
    }
};

}  // namespace lumaghost
