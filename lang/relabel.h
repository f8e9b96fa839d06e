// SPDX-License-Identifier: LGPL-2.1-or-later
// Re-labelling Qt widgets from the current language pack: dialogs (section DLG_<id>), menus and
// menu bars (section MENU), the status bar and the commands' status prompts (STRINGTABLE).
//
// Widgets carry the numeric ids of the packs as dynamic properties: a dialog control its
// control id as int property "controlId" (none counts as -1, looked up as ID65535), a command
// QAction its command id as int property "commandId" (none counts as 0 and is left alone, like
// a separator), a status-bar indicator label its indicator id as "controlId".
#pragma once

#include <string_view>

#include <QList>
#include <QString>

#include "lang/language_packs.h"
#include "lang/pack_display_text.h"

class QAction;
class QComboBox;
class QMainWindow;
class QMenu;
class QMenuBar;
class QStatusBar;
class QWidget;

namespace lumaghost {

inline constexpr char kControlIdProperty[] = "controlId";
inline constexpr char kCommandIdProperty[] = "commandId";

/// Sets the dialog's title from CAPTION of section DLG_<dialogId> and the text of every label,
/// button and group box inside it from ID<controlId>, an empty value emptying it. Line edits,
/// text edits, spin boxes and combo boxes keep their contents; picture labels keep their
/// picture.
void relabelDialog(const LanguagePackList &packs, QWidget &dialog, int dialogId);

/// Sets the texts of a menu's items from section MENU: a submenu's item from PID<id of the
/// submenu's first item> (PID-1 when that item is itself a submenu), a command from
/// ID<commandId>, each only when the pack has a non-empty text. Separators, actions without a
/// command id and excluded ids keep their text. Submenus are re-labelled in turn.
void relabelMenu(const LanguagePackList &packs, QMenu &menu);
void relabelMenu(const LanguagePackList &packs, QMenuBar &bar);

/// A command's status-bar prompt and tool tip: the two lines of its STRINGTABLE text.
struct CommandPrompt {
    QString statusTip;
    QString toolTip;  // empty: Qt's default, the action's text
};
CommandPrompt loadCommandPrompt(const LanguagePackList &packs, int commandId);
/// Sets status tip and tool tip of every action with a command id outside the excluded ranges.
void applyCommandPrompts(const LanguagePackList &packs, const QList<QAction *> &actions);

/// Makes string 57345 the status bar's idle text: shown now and whenever the message clears.
void setIdleStatusText(const LanguagePackList &packs, QStatusBar &statusBar);
/// Sets the message pane from string 0 and each indicator label (a QLabel with "controlId"
/// 59137, 59138 or 59139) from its string.
void relabelStatusPanes(const LanguagePackList &packs, QStatusBar &statusBar);

/// Shows the current language in the main window: menu bar, command prompts, idle text and
/// status-bar panes.
void applyLanguage(const LanguagePackList &packs, QMainWindow &window);

/// Fills the Setup dialog's language list: one entry per pack, sorted by name, each with its
/// LanguageID as item data; selects the first entry of `languageId` (none when there is none).
void fillLanguageCombo(const LanguagePackList &packs, QComboBox &combo, int languageId);

}  // namespace lumaghost
