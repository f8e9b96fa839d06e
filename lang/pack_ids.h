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
inline constexpr int kCameraFormatLabel = 1032;     // the camera format combo box's label
inline constexpr int kCameraFormatCombo = 1033;     // keeps its entries: never re-labelled
inline constexpr int kCameraFormatNote = 1034;      // what a new size does to stored pictures

// About box, section DLG_100.
inline constexpr int kAboutDialog = 100;
inline constexpr int kTranslatorLine = 1026;  // filled with LanguagePackList::TranslatorLine()
inline constexpr int kVersionLine = 1027;     // filled with kVersionFormat
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
// The camera's format: a new size seen by the window, a format the camera could not take.
inline constexpr int kCameraSizeChanged = 2012;
inline constexpr int kCameraFormatKept = 2013;
// The status bar while a movie or a real camera is starting.
inline constexpr int kStartingMovie = 2020;
inline constexpr int kStartingCamera = 2021;

// [STRINGTABLE] ids of Lumadesk's own messages about several files or a file of a directory,
// from 4000; "%s" and "%d" are filled in turn.
inline constexpr int kPictureNotShown = 4000;    // "%s cannot be shown:\n%s"
inline constexpr int kFilesNotFound = 4001;      // "These %d files were not found:\n%s"
inline constexpr int kMoreFilesNotFound = 4002;  // "… and %d more"

// Menu items.
inline constexpr int kOpenRecentTitle = 32821;  // "Open Recent Files Here", Open's drop-down

// Lumadesk's own [STRINGTABLE] texts, 1100 to 1999, beyond the packs' first ones: captions,
// messages, the details under them, window titles and the names assistive technology reads.
// Each is in every pack (res/lang).

// Message captions.
inline constexpr int kErrorCaption = 1100;
inline constexpr int kDriverErrorCaption = 1101;
inline constexpr int kGraphFailedCaption = 1102;
inline constexpr int kRenderErrorCaption = 1103;
inline constexpr int kStopCaption = 1104;
inline constexpr int kMiniSizeCaption = 1105;
inline constexpr int kAutoPlayCaption = 1106;
inline constexpr int kPlayFileErrorCaption = 1107;
// Messages; "%s" is filled in turn.
inline constexpr int kReadFileError = 1110;
inline constexpr int kFileNotFound = 1111;
inline constexpr int kFileNotOpenable = 1112;
inline constexpr int kFileCannotOpen = 1113;
inline constexpr int kCannotOpenPicture = 1114;
inline constexpr int kCannotWrite = 1115;
inline constexpr int kCannotWriteStoredImage = 1116;
inline constexpr int kCannotSetAutoPlay = 1117;
inline constexpr int kPathTooLongForService = 1118;
inline constexpr int kPictureNotSupported = 1120;
inline constexpr int kNoPictureMemory = 1121;
inline constexpr int kNoDefaultPicture = 1122;
inline constexpr int kGetBufferError = 1123;
inline constexpr int kNoCameraFormat = 1124;
inline constexpr int kCameraStopError = 1125;
inline constexpr int kNoHelpFile = 1126;
inline constexpr int kNoHelpViewer = 1127;
// What stood in the way of a file operation, for the messages above.
inline constexpr int kFileMissingWords = 1130;
inline constexpr int kAccessDeniedWords = 1131;
inline constexpr int kDiskFullWords = 1132;
inline constexpr int kFileTooLargeWords = 1133;
inline constexpr int kNotRegularFileWords = 1134;
inline constexpr int kNoMemoryWords = 1135;
inline constexpr int kFramesDoNotFitWords = 1136;
inline constexpr int kErrorCodeWords = 1137;
// The detail line under a message: what is wrong, or what to do.
inline constexpr int kPictureUnknownTypeDetail = 1140;
inline constexpr int kPictureDamagedDetail = 1141;
inline constexpr int kPictureTooLargeDetail = 1142;
inline constexpr int kPictureNoMemoryDetail = 1143;
inline constexpr int kClipboardNoPictureDetail = 1144;
inline constexpr int kClipboardTooLargeDetail = 1145;
inline constexpr int kRunSetupDetail = 1146;
inline constexpr int kInstallPackageDetail = 1147;
inline constexpr int kNoAuthenticationAgentDetail = 1150;
inline constexpr int kAuthenticationCancelledDetail = 1151;
inline constexpr int kAuthenticationRefusedDetail = 1152;
inline constexpr int kServiceManagerDetail = 1153;
inline constexpr int kHelpFoldersDetail = 1154;
// Titles, file dialog filters and names.
inline constexpr int kUntitledTitle = 1160;
inline constexpr int kDefaultPictureTitle = 1161;
inline constexpr int kOpenFileTitle = 1162;
inline constexpr int kSequenceFilterName = 1163;
inline constexpr int kReleaseLine = 1164;
inline constexpr int kPreviewTitle = 1165;
inline constexpr int kCameraItemPrefix = 1166;
// The movie types of the "Play Movie" dialog.
inline constexpr int kMovieFilter = 1167;
inline constexpr int kPictureAreaName = 1170;
inline constexpr int kSequenceStripName = 1171;
inline constexpr int kMoreButtonsName = 1172;
inline constexpr int kOpenRecentName = 1173;
inline constexpr int kPlayDropDownName = 1174;
inline constexpr int kHiddenToolBarName = 1175;
inline constexpr int kMainToolBarName = 1176;
inline constexpr int kSequenceToolBarName = 1177;
inline constexpr int kMovieControlBarName = 1178;
inline constexpr int kDisplayTimeBarName = 1179;
inline constexpr int kSizeGripName = 1180;
inline constexpr int kPictureViewName = 1181;
inline constexpr int kPictureName = 1182;
inline constexpr int kTrayName = 1183;
inline constexpr int kSequenceItemsName = 1184;
inline constexpr int kDisplayTimeName = 1185;
inline constexpr int kDisplayTimeEditName = 1186;
inline constexpr int kDisplayTimeSliderName = 1187;
inline constexpr int kMillisecondsUnit = 1188;
inline constexpr int kSoundName = 1189;
inline constexpr int kVolumeName = 1190;
inline constexpr int kPauseName = 1191;
inline constexpr int kPositionName = 1192;
inline constexpr int kBrowseName = 1193;
inline constexpr int kRealCameraName = 1194;
inline constexpr int kSequenceStripDescription = 1195;

}  // namespace lumaghost::pack_ids
