#include "common/syserror.h"

#include "common/handles.h"
#include "common/text.h"

#include <exception>
#include <new>

char* CSystemError::FormatSystemText() const {
    char* text = nullptr;
    if (port::Sys().FormatMessageA(port::FORMAT_MESSAGE_FROM_SYSTEM |
                                       port::FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                   nullptr, m_code, 0x400, &text) == 0)
        return nullptr;
    return text;
}

std::string CSystemError::GetErrorText() const {
    unique_hlocal text(FormatSystemText());
    if (!text)
        return {};
    if (!m_file.empty())
        return Format("(%d) %s, %s|%d", static_cast<int>(m_code), text.get(), m_file.c_str(),
                      m_line);
    return Format("(%d) %s", static_cast<int>(m_code), text.get());
}

std::string ErrorLine(port::DWORD code) {
    std::string text = CSystemError(code).GetErrorText();
    text.erase(text.find_last_not_of(" \r\n") + 1);
    return text.empty() ? Format("error %lu", static_cast<unsigned long>(code)) : text;
}

void ThrowLastError() {
    throw CSystemError(port::Sys().GetLastError(), {}, 0);
}

std::string DescribeCurrentException() {
    try {
        throw;
    } catch (const CSystemError& error) {
        std::string text = error.GetErrorText();
        return text.empty() ? Format("System error %u.", static_cast<unsigned>(error.Code()))
                            : text;
    } catch (const std::bad_alloc&) {
        return "Not enough memory.";
    } catch (const std::exception& e) {
        return *e.what() ? e.what() : "An unexpected error occurred.";
    } catch (...) {
        return "An unexpected error occurred.";
    }
}
