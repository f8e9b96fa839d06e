// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/on_camera.h"

#include "desk/model/message_format.h"
#include "lang/pack_display_text.h"
#include "lang/pack_ids.h"

namespace lumaghost {

QString describeOnCamera(const LanguagePackList &packs, const OnCamera &source) {
    using Kind = OnCamera::Kind;
    auto text = [&packs](int id) { return loadPackQString(packs, id); };
    switch (source.kind) {
        case Kind::NoCamera:
            return text(pack_ids::kNoCameraPane);
        case Kind::StoredImage:
            return text(pack_ids::kStoredImagePane);
        case Kind::Nothing:
            return text(pack_ids::kNothingPlaysPane);
        case Kind::Picture:
            return formatMessage(text(pack_ids::kPicturePane), {source.name});
        case Kind::ClipboardPicture:
            return text(pack_ids::kClipboardPicturePane);
        case Kind::SequenceItem:
            return formatMessage(text(pack_ids::kSequenceItemPane),
                                 {int64_t{source.item}, int64_t{source.count}});
        case Kind::Movie:
            return formatMessage(text(pack_ids::kMoviePane), {source.name});
        case Kind::DirectoryPicture:
            return formatMessage(text(pack_ids::kDirectoryPicturePane), {source.name});
        case Kind::RealCamera:
            return formatMessage(text(pack_ids::kRealCameraPane), {source.name});
        case Kind::PlayService:
            return text(pack_ids::kPlayServicePane);
    }
    return QString();
}

}  // namespace lumaghost
