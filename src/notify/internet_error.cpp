#include "notify/internet_error.h"

#include "common/handles.h"
#include "common/text.h"
#include "notify/masked_text.h"

#include <algorithm>
#include <cstring>

port::BOOL CException::GetErrorMessage(char* buffer, port::UINT maxChars,
                                       port::UINT* helpContext) const {
    if (helpContext)
        *helpContext = 0;
    if (!buffer || maxChars == 0)
        return port::FALSE;
    std::string text = GetErrorText();
    std::size_t n = std::min<std::size_t>(text.size(), maxChars - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return text.empty() ? port::FALSE : port::TRUE;
}

std::string CInternetException::GetErrorText() const {
    auto& os = port::Sys();
    char* text = nullptr;
    // With both sources the module's table is searched first: WinINet's codes
    // (12000-12175) are named there, any other code by the system.
    if (os.FormatMessageA(port::FORMAT_MESSAGE_FROM_HMODULE | port::FORMAT_MESSAGE_FROM_SYSTEM |
                              port::FORMAT_MESSAGE_IGNORE_INSERTS |
                              port::FORMAT_MESSAGE_ALLOCATE_BUFFER,
                          os.GetModuleHandleA("wininet.dll"), m_dwError, 0x400, &text) != 0 &&
        text) {
        unique_hlocal owned(text);
        // A library's text may quote a URL or a header: never their credentials.
        if (*owned.get())
            return WithoutCredentials(owned.get());
    } else if (text) {
        os.LocalFree(text);
    }
    return Format("Internet error %lu.", static_cast<unsigned long>(m_dwError));
}

void ThrowInternetException(port::DWORD_PTR context) {
    throw CInternetException(port::Sys().GetLastError(), context);
}
