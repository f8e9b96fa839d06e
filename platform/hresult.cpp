// SPDX-License-Identifier: LGPL-2.1-or-later
#include "platform/hresult.h"

#include <cerrno>
#include <cstdio>

namespace lumaghost {

namespace {

const char *knownName(HResult r) {
    struct Entry {
        HResult code;
        const char *name;
    };
    static constexpr Entry kNames[] = {
        {S_OK, "S_OK"},
        {S_FALSE, "S_FALSE"},
        {E_NOTIMPL, "E_NOTIMPL"},
        {E_NOINTERFACE, "E_NOINTERFACE"},
        {E_POINTER, "E_POINTER"},
        {E_FAIL, "E_FAIL"},
        {E_UNEXPECTED, "E_UNEXPECTED"},
        {E_ACCESSDENIED, "E_ACCESSDENIED"},
        {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
        {E_INVALIDARG, "E_INVALIDARG"},
        {E_NOT_SUFFICIENT_BUFFER, "E_NOT_SUFFICIENT_BUFFER"},
        {E_PROP_ID_UNSUPPORTED, "E_PROP_ID_UNSUPPORTED"},
        {E_PROP_SET_UNSUPPORTED, "E_PROP_SET_UNSUPPORTED"},
        {VFW_E_NOT_CONNECTED, "VFW_E_NOT_CONNECTED"},
        {VFW_E_NOT_FOUND, "VFW_E_NOT_FOUND"},
    };
    for (const auto &e : kNames) {
        if (e.code == r)
            return e.name;
    }
    return nullptr;
}

}  // namespace

HResult hresultFromErrno(int error) {
    switch (error) {
        case 0:
            return S_OK;
        case ENOENT:
        case ENOTDIR:
            return hresultFromWin32(ERROR_FILE_NOT_FOUND);
        case EACCES:
        case EPERM:
        case EROFS:
            return E_ACCESSDENIED;
        case EEXIST:
            return hresultFromWin32(ERROR_ALREADY_EXISTS);
        case ENOMEM:
            return E_OUTOFMEMORY;
        case ENOSPC:
        case EDQUOT:
            return hresultFromWin32(ERROR_DISK_FULL);
        case EFBIG:
            return hresultFromWin32(ERROR_FILE_TOO_LARGE);
        case EINVAL:  // also openRegularFile's answer for what is no regular file
        case ELOOP:   // a symbolic link where none is followed
            return hresultFromWin32(ERROR_INVALID_DATA);
        default:
            return E_FAIL;
    }
}

std::string HResult::toString() const {
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%08X", static_cast<uint32_t>(code_));
    const char *name = knownName(*this);
    return name ? std::string(name) + " (" + hex + ")" : std::string(hex);
}

}  // namespace lumaghost
