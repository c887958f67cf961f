// The system's texts for error codes, as message boxes show them.
#pragma once

#include <string>

#include "os/Api.h"

namespace os {

// The system's text for a Windows error code (FormatMessageA, as it stands, line break
// included), or nothing when the system has none.
std::string SystemErrorText(Dword code);

// The text for an HRESULT: the system's text for its Windows error code when it carries one
// (HRESULT_FROM_WIN32), else the system's text for the HRESULT itself; without either, the
// code in hexadecimal ("Error 0x80041318.").
std::string HResultText(HResult result);

}  // namespace os
