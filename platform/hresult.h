// SPDX-License-Identifier: LGPL-2.1-or-later
// Result codes in the HRESULT manner: 32-bit, negative means failure.
#pragma once

#include <cstdint>
#include <string>

namespace lumaghost {

class [[nodiscard]] HResult {
public:
    constexpr HResult() = default;
    constexpr explicit HResult(int32_t code) : code_(code) {}
    constexpr explicit HResult(uint32_t code) : code_(static_cast<int32_t>(code)) {}

    constexpr int32_t code() const { return code_; }
    constexpr bool failed() const { return code_ < 0; }
    constexpr bool succeeded() const { return code_ >= 0; }

    friend constexpr bool operator==(HResult a, HResult b) = default;

    /// Text for logs: the constant's name where known, and the code in hex.
    std::string toString() const;

private:
    int32_t code_ = 0;
};

// Windows error numbers that travel inside results and last-error values.
inline constexpr uint32_t ERROR_SUCCESS = 0;
inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_DATA = 13;
inline constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
inline constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
inline constexpr uint32_t ERROR_DISK_FULL = 112;
inline constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr uint32_t ERROR_FILE_TOO_LARGE = 223;
inline constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr uint32_t ERROR_SET_NOT_FOUND = 1170;
inline constexpr uint32_t ERROR_NOT_FOUND = 1168;

inline constexpr HResult S_OK{int32_t{0}};
inline constexpr HResult S_FALSE{int32_t{1}};
inline constexpr HResult E_NOTIMPL{0x80004001u};
inline constexpr HResult E_NOINTERFACE{0x80004002u};
inline constexpr HResult E_POINTER{0x80004003u};
inline constexpr HResult E_FAIL{0x80004005u};
inline constexpr HResult E_UNEXPECTED{0x8000FFFFu};
inline constexpr HResult E_ACCESSDENIED{0x80070005u};
inline constexpr HResult E_OUTOFMEMORY{0x8007000Eu};
inline constexpr HResult E_INVALIDARG{0x80070057u};
inline constexpr HResult E_NOT_SUFFICIENT_BUFFER{0x8007007Au};
inline constexpr HResult E_PROP_ID_UNSUPPORTED{0x80070490u};
inline constexpr HResult E_PROP_SET_UNSUPPORTED{0x80070492u};
inline constexpr HResult VFW_E_NOT_CONNECTED{0x80040209u};
inline constexpr HResult VFW_E_NOT_FOUND{0x80040216u};
inline constexpr HResult VFW_E_TYPE_NOT_ACCEPTED{0x8004022Au};

/// The result of a Windows error number: ERROR_SUCCESS is S_OK; a number that is a failure code
/// already (the device installer's 0xE000xxxx, an application's own 0xA000xxxx) stands as it
/// is; any other becomes a failure of facility Win32, 0x8007xxxx.
constexpr HResult hresultFromWin32(uint32_t error) {
    if (error == 0)
        return S_OK;
    if (static_cast<int32_t>(error) < 0)
        return HResult(error);
    return HResult((error & 0xFFFFu) | 0x80070000u);
}

/// The Windows error number a result carries, hresultFromWin32's inverse: ERROR_SUCCESS for a
/// success, the number of a facility-Win32 failure, any other failure code as it stands.
constexpr uint32_t win32ErrorOf(HResult r) {
    const auto code = static_cast<uint32_t>(r.code());
    if (r.succeeded())
        return 0;
    return (code & 0xFFFF0000u) == 0x80070000u ? code & 0xFFFFu : code;
}

/// The result of a POSIX errno value: the one mapping of system-call failures to results.
HResult hresultFromErrno(int error);

}  // namespace lumaghost
