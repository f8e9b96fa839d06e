// SPDX-License-Identifier: LGPL-2.1-or-later
// The messages of the language packs (section STRINGTABLE) that Lumadesk shows, each with its
// English text from res/lang/English.ini.
#pragma once

namespace lumaghost::msg {

// Opening and saving files.
inline constexpr int kOpenFilter =
    138;  // "All support movie format|*.avi;...|All Files (*.*)|*.*||"
inline constexpr int kPictureFilter =
    176;  // "Picture Files (bmp dib emf gif ico jpg wmf)|*.bmp;..."
inline constexpr int kSaveAsTitle = 61441;      // "Save As"
inline constexpr int kAllFilesFilter = 61442;   // "All Files (*.*)"
inline constexpr int kSelectMediasTitle = 175;  // "Select medias directory"

// Pictures.
inline constexpr int kUnknownPictureType = 144;  // "Not a known picture type"
inline constexpr int kCannotLoadPicture = 145;   // "Can not load picture"

// The camera and its driver.
inline constexpr int kVersionMismatch =
    149;  // "The driver and the main program have NOT the SAME version!\n..."
inline constexpr int kCantFindDriver =
    170;  // "Can't find Lumaghost driver.\n\nPlease reinstall Lumaghost again!"
inline constexpr int kInstallDriverManually =
    171;  // "Can't find Lumaghost driver.\n\nYou must install the driver manually.\nNeed help?"
inline constexpr int kCannotShowPreview =
    172;  // "Can't show preview window, maybe other software used the Lumaghost driver."
inline constexpr int kInitializeFailed = 173;  // "Initialize Lumaghost Error!"
inline constexpr int kCannotConnectCamera =
    154;  // "Lumadesk can't connect your real camera.\nCan you tell us your camera's type?"
inline constexpr int kNoPropertyPage = 174;  // "No Property Setup Page"

// The sequence and the play service.
inline constexpr int kAutoPlayNextBoot =
    151;  // "Auto play this sequence when you reboot next time?"
inline constexpr int kCannotInstallService = 153;  // "Can't install the Lumaghost Service!"

// Movies.
inline constexpr int kRealMediaNeedsSplitter =
    155;  // "In order to use RealMedia file,\nyou must install RealPlayer and RealMedia Splitter
          // first!"
inline constexpr int kCannotRenderMovie = 156;  // "Lumaghost can't render your moive file!"
inline constexpr int kCannotRenderMedia =
    162;  // "Lumadesk can't render this media!\n\nDo you want to see the more detail information"
inline constexpr int kFilterDetails = 163;    // "DirectShow Filter Details"
inline constexpr int kCopyToClipboard = 164;  // "Copy to clipboard?"
inline constexpr int kCannotCopy = 165;       // "Can't copy to clipboard!"
inline constexpr int kDetailsCopied = 166;    // "The details have been copied to clipboard!\n..."
inline constexpr int kCannotPlayMovie =
    167;                                   // "Sorry!\nCan't play movie file %s\nError code is:0x%X"
inline constexpr int kMovieStopped = 190;  // "The movie %s has stopped:\n%s"
inline constexpr int kCameraStopped = 191;    // "The real camera %s has stopped:\n%s"
inline constexpr int kFileRemoved = 192;      // "The file was removed."
inline constexpr int kCameraUnplugged = 193;  // "The camera was unplugged."

// Closing the window.
inline constexpr int kStopPlayback =
    168;  // "You are playing a movie or switch to the real camera.\nDo you want to stop them?"
inline constexpr int kMiniSizeToTray = 169;  // "Mini size to system tray?"

}  // namespace lumaghost::msg
