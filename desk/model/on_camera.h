// SPDX-License-Identifier: LGPL-2.1-or-later
// What feeds the camera now, as the status bar names it: a picture, a sequence item, a movie,
// a directory's picture, a real camera or the play service.
#pragma once

#include <QString>

namespace lumaghost {

class LanguagePackList;

struct OnCamera {
    enum class Kind {
        NoCamera,          // Lumadesk runs without a camera
        StoredImage,       // what the camera shows from its start
        Nothing,           // the last source ended; its last frame stays
        Picture,           // name: the picture's file name
        ClipboardPicture,  // a picture pasted from the clipboard
        SequenceItem,      // item (1-based) of count
        Movie,             // name: the movie's path
        DirectoryPicture,  // name: the picture's path
        RealCamera,        // name: the camera's name
        PlayService,
    };
    OnCamera() = default;
    OnCamera(Kind kind, QString name = QString(), int item = 0, int count = 0)
        : kind(kind), name(std::move(name)), item(item), count(count) {}

    Kind kind = Kind::NoCamera;
    QString name;
    int item = 0;
    int count = 0;
    friend bool operator==(const OnCamera &, const OnCamera &) = default;
};

/// The status-bar text for `source` in the current language pack.
QString describeOnCamera(const LanguagePackList &packs, const OnCamera &source);

}  // namespace lumaghost
