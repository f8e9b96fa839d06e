// SPDX-License-Identifier: LGPL-2.1-or-later
// Identifiers that the language packs and the desktop application's widgets must agree on:
// the re-labelled dialogs and their controls, the status-bar panes, and the menu items that
// exist only in language packs' eyes.
#pragma once

namespace lumaghost::pack_ids {

// Control ids shared by the dialogs.
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;

// Setup dialog, section DLG_151.
inline constexpr int kSetupDialog = 151;
inline constexpr int kAutoSetLastImage = 1003;         // "Auto save the image last set"
inline constexpr int kServiceAutoStart = 1008;         // "Auto play the picture sequence"
inline constexpr int kAutoSaveSequenceForNext = 1009;  // "When save the sequence auto set it..."
inline constexpr int kStretch = 1017;
inline constexpr int kKeepRatio = 1018;
inline constexpr int kCenter = 1019;
inline constexpr int kMiniSizeToSystemTray = 1020;  // "Minimize to system tray"
inline constexpr int kMovieGroup = 1021;            // group box "Movie" around 1017..1019
inline constexpr int kLanguageLabel = 1022;         // the language combo box's label
inline constexpr int kLanguageCombo = 1025;         // keeps its entries: never re-labelled

// About box, section DLG_100.
inline constexpr int kAboutDialog = 100;
inline constexpr int kTranslatorLine = 1026;  // filled with LanguagePackList::TranslatorLine()
inline constexpr int kVersionLine = 1027;     // filled with string 141
inline constexpr int kCopyrightLine = 1028;
inline constexpr int kHomepageLink = 1029;
inline constexpr int kSupportMailLink = 1030;

// [STRINGTABLE] ids read by the main window.
inline constexpr int kIdleMessage = 57345;  // "Ready"
inline constexpr int kMessagePane = 0;
inline constexpr int kCapsLockPane = 59137;
inline constexpr int kNumLockPane = 59138;
inline constexpr int kScrollLockPane = 59139;
inline constexpr int kVersionFormat = 141;

// [STRINGTABLE] ids of Lumadesk's own texts, from 2000: what is on the camera (the status bar's
// source pane), the open dialog's filter of every file Lumadesk opens, an item's display time.
inline constexpr int kNothingPlaysPane = 2000;
inline constexpr int kPicturePane = 2001;
inline constexpr int kSequenceItemPane = 2002;
inline constexpr int kMoviePane = 2003;
inline constexpr int kDirectoryPicturePane = 2004;
inline constexpr int kRealCameraPane = 2005;
inline constexpr int kPlayServicePane = 2006;
inline constexpr int kStoredImagePane = 2007;
inline constexpr int kNoCameraPane = 2008;
inline constexpr int kAllOpenableFilter = 2009;
inline constexpr int kDisplayTimeLabel = 2010;
inline constexpr int kClipboardPicturePane = 2011;

// Menu items.
inline constexpr int kOpenRecentTitle = 32821;  // "Open Recent Files Here", Open's drop-down
inline constexpr int kFirstCameraItem = 10000;  // "Camera - " + name, never re-labelled
inline constexpr int kLastCameraItem = 10064;

}  // namespace lumaghost::pack_ids
