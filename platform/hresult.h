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
inline constexpr uint32_t ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr uint32_t ERROR_NO_MORE_ITEMS = 259;
inline constexpr uint32_t ERROR_SET_NOT_FOUND = 1170;
inline constexpr uint32_t ERROR_NOT_FOUND = 1168;

constexpr HResult hresultFromWin32(uint32_t error) {
    return error == 0 ? HResult(int32_t{0}) : HResult((error & 0xFFFFu) | 0x80070000u);
}

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

}  // namespace lumaghost
