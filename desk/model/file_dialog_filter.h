// SPDX-License-Identifier: LGPL-2.1-or-later
// The open dialogs' filters from the packs' "Name|*.a;*.b|...||" form.
#pragma once

#include <string>
#include <vector>

#include <QString>

namespace lumaghost {

/// A pack's filter as a QFileDialog filter: each name shows its patterns once, "*.*" is "*"
/// (names without a dot too), and the legacy movie filter (the one of *.avi) gets
/// `moreMovieTypes` (extensions) too.
QString fileDialogFilter(const QString &packFilter,
                         const std::vector<std::string> &moreMovieTypes = {});
/// The same with a first filter `allName` of every pattern of the others but "*".
QString openDialogFilter(const QString &packFilter, const QString &allName,
                         const std::vector<std::string> &moreMovieTypes = {});

}  // namespace lumaghost
