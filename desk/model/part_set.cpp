// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/part_set.h"

namespace lumaghost {

PartSet::~PartSet() = default;

void PartSet::setPicture(std::unique_ptr<PicturePart> part) {
    picture_ = std::move(part);
    emit changed();
}

void PartSet::setSequence(std::unique_ptr<SequencePart> part) {
    sequence_ = std::move(part);
    emit changed();
}

void PartSet::setMovie(std::unique_ptr<MoviePart> part) {
    movie_ = std::move(part);
    emit changed();
}

void PartSet::setRealCamera(std::unique_ptr<RealCameraPart> part) {
    realCamera_ = std::move(part);
    emit changed();
}

void PartSet::setDirectory(std::unique_ptr<DirectoryPart> part) {
    directory_ = std::move(part);
    emit changed();
}

void PartSet::setService(std::unique_ptr<ServicePart> part) {
    service_ = std::move(part);
    emit changed();
}

void PartSet::stopCameraSources() {
    if (movie_)
        movie_->stopGraphPlayback();
    if (sequence_ && sequence_->isPlaying())
        sequence_->stop();
}

}  // namespace lumaghost
