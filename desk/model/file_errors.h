// SPDX-License-Identifier: LGPL-2.1-or-later
// Words for the results of file operations, for messages that name the file.
#pragma once

#include <QString>

#include "platform/hresult.h"

namespace lumaghost {

/// A sequence file that is none: damaged, or no regular file at all.
inline constexpr char kReadFileError[] = "Read File Error!";

/// What stood in the way, in a few words without a capital or a full stop ("access is
/// denied"); the result code where no words are known.
QString fileErrorText(HResult error);

}  // namespace lumaghost
