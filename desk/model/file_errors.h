// SPDX-License-Identifier: LGPL-2.1-or-later
// Words for the results of file operations, for messages that name the file.
#pragma once

#include <QString>

#include "lang/language_packs.h"
#include "platform/hresult.h"

namespace lumaghost {

/// What stood in the way, in a few words of the current pack without a capital or a full stop
/// ("access is denied"); the result code where no words are known.
QString fileErrorText(const LanguagePackList &packs, HResult error);

}  // namespace lumaghost
