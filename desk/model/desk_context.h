// SPDX-License-Identifier: LGPL-2.1-or-later
// What the application object owns and its windows share: the environment, the settings store,
// the language packs, the three recent-file lists and the paths.
#pragma once

#include <iosfwd>

#include "desk/model/desk_environment.h"
#include "desk/model/desk_paths.h"
#include "desk/model/message_format.h"
#include "desk/model/recent_file_list.h"
#include "desk/model/settings_store.h"
#include "lang/language_packs.h"

namespace lumaghost {

class CLumadeskDoc;

/// The program's title.
inline constexpr char kAppTitle[] = "Lumadesk";

/// Message boxes' caption: the program's title.
inline QString appTitle() {
    return QString::fromLatin1(kAppTitle);
}

struct DeskContext {
    DeskContext(DeskEnvironment environment, RegistryHive userHive, LanguagePackList &packs,
                std::ostream &errors)
        : environment(std::move(environment)),
          settings(std::move(userHive), errors),
          packs(packs),
          paths(this->environment.applicationFolder),
          errors(errors) {}

    DeskEnvironment environment;
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
    /// A format of the current language pack, filled from `args` (formatMessage).
    QString message(int id, std::initializer_list<MessageArg> args) const;
    /// A message box through the environment's prompter.
    MessageAnswer ask(QWidget *owner, const QString &caption, const QString &text,
                      MessageButtons buttons = MessageButtons::Ok,
                      MessageIcon icon = MessageIcon::None) const {
        return environment.prompter->ask(owner, caption, text, buttons, icon);
    }
};

}  // namespace lumaghost
