// SPDX-License-Identifier: LGPL-2.1-or-later
#include "desk/model/file_errors.h"

namespace lumaghost {

QString fileErrorText(HResult error) {
    if (error == hresultFromWin32(ERROR_FILE_NOT_FOUND))
        return QStringLiteral("the file or its folder does not exist");
    if (error == E_ACCESSDENIED)
        return QStringLiteral("access is denied");
    if (error == hresultFromWin32(ERROR_DISK_FULL))
        return QStringLiteral("the disk is full");
    if (error == hresultFromWin32(ERROR_FILE_TOO_LARGE))
        return QStringLiteral("the file is too large");
    if (error == hresultFromWin32(ERROR_INVALID_DATA))
        return QStringLiteral("it is not a regular file");
    if (error == E_OUTOFMEMORY)
        return QStringLiteral("not enough memory");
    if (error == E_INVALIDARG)
        return QStringLiteral("the frames do not fit the file format");
    return QStringLiteral("error %1").arg(QString::fromStdString(error.toString()));
}

}  // namespace lumaghost
