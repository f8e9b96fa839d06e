// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/file_errors.h"

#include "desk/model/message_format.h"
#include "lang/pack_display_text.h"
#include "lang/pack_ids.h"

namespace lumaghost {

QString fileErrorText(const LanguagePackList &packs, HResult error) {
    using namespace pack_ids;
    int words = 0;
    if (error == hresultFromWin32(ERROR_FILE_NOT_FOUND))
        words = kFileMissingWords;
    else if (error == E_ACCESSDENIED)
        words = kAccessDeniedWords;
    else if (error == hresultFromWin32(ERROR_DISK_FULL))
        words = kDiskFullWords;
    else if (error == hresultFromWin32(ERROR_FILE_TOO_LARGE))
        words = kFileTooLargeWords;
    else if (error == hresultFromWin32(ERROR_INVALID_DATA))
        words = kNotRegularFileWords;
    else if (error == E_OUTOFMEMORY)
        words = kNoMemoryWords;
    else if (error == E_INVALIDARG)
        words = kFramesDoNotFitWords;
    if (words != 0)
        return loadPackQString(packs, words);
    return formatMessage(loadPackQString(packs, kErrorCodeWords),
                         {QString::fromStdString(error.toString())});
}

}  // namespace lumaghost
