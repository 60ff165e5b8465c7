// Owning wrappers for the port's handles: one type per handle kind, closed
// through the port when they go out of scope (also while an exception passes).
#pragma once

#include "port/port.h"

#include <utility>

template <class Traits> class unique_resource {
public:
    using pointer = typename Traits::pointer;

    unique_resource() = default;
    explicit unique_resource(pointer value) : m_value(value) {}
    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    unique_resource(unique_resource&& other) noexcept : m_value(other.release()) {}
    unique_resource& operator=(unique_resource&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~unique_resource() { reset(); }

    pointer get() const { return m_value; }
    explicit operator bool() const { return m_value != Traits::invalid(); }

    pointer release() { return std::exchange(m_value, Traits::invalid()); }

    void reset(pointer value = Traits::invalid()) {
        pointer old = std::exchange(m_value, value);
        if (old != Traits::invalid())
            Traits::close(old);
    }

    // Closes the current handle and hands out the slot for an out-parameter.
    pointer* put() {
        reset();
        return &m_value;
    }

private:
    pointer m_value = Traits::invalid();
};

struct RegKeyTraits {
    using pointer = port::HKEY;
    static pointer invalid() { return nullptr; }
    static void close(pointer key) { port::Sys().RegCloseKey(key); }
};
using unique_hkey = unique_resource<RegKeyTraits>;

struct TokenTraits {
    using pointer = port::HANDLE;
    static pointer invalid() { return nullptr; }
    static void close(pointer handle) { port::Sys().CloseHandle(handle); }
};
using unique_handle = unique_resource<TokenTraits>;

struct SidTraits {
    using pointer = port::PSID;
    static pointer invalid() { return nullptr; }
    static void close(pointer sid) { port::Sys().FreeSid(sid); }
};
using unique_sid = unique_resource<SidTraits>;

struct LibraryTraits {
    using pointer = port::HMODULE;
    static pointer invalid() { return nullptr; }
    static void close(pointer module) { port::Sys().FreeLibrary(module); }
};
using unique_library = unique_resource<LibraryTraits>;

struct LocalTextTraits {
    using pointer = char*;
    static pointer invalid() { return nullptr; }
    static void close(pointer text) { port::Sys().LocalFree(text); }
};
using unique_local_text = unique_resource<LocalTextTraits>;
