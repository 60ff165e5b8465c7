// Owners for the port's handles, one type per handle kind (unique_hkey,
// unique_schandle, ...), closed through the port when they go out of scope,
// also while an exception passes; and scope_exit, the undo step of a change
// that is kept only once everything after it has worked.
#pragma once

#include "port/port.h"

#include <cstdint>
#include <type_traits>
#include <utility>

// Traits: `pointer`, `invalid()` and a `close(pointer)` that never throws.
template <class Traits> class unique_resource {
public:
    using pointer = typename Traits::pointer;

    unique_resource() = default;
    explicit unique_resource(pointer value) noexcept : m_value(value) {}
    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    unique_resource(unique_resource&& other) noexcept : m_value(other.release()) {}
    unique_resource& operator=(unique_resource&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ~unique_resource() { reset(); }

    pointer get() const noexcept { return m_value; }
    explicit operator bool() const noexcept { return m_value != Traits::invalid(); }

    pointer release() noexcept { return std::exchange(m_value, Traits::invalid()); }

    // Closes the handle held (if any) and takes value. The thread's last
    // error is the same afterwards: a caller that closes on its way out of a
    // failure still reads the error of the call that failed.
    void reset(pointer value = Traits::invalid()) noexcept {
        pointer old = std::exchange(m_value, value);
        if (old == Traits::invalid())
            return;
        port::Os& os = port::Sys();
        port::DWORD const lastError = os.GetLastError();
        Traits::close(old);
        os.SetLastError(lastError);
    }

    // Closes the handle held and hands out the slot for an out-parameter.
    pointer* put() noexcept {
        reset();
        return &m_value;
    }

private:
    pointer m_value = Traits::invalid();
};

struct hkey_traits {
    using pointer = port::HKEY;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer key) noexcept { port::Sys().RegCloseKey(key); }
};
using unique_hkey = unique_resource<hkey_traits>;

struct schandle_traits {
    using pointer = port::SC_HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { port::Sys().CloseServiceHandle(handle); }
};
using unique_schandle = unique_resource<schandle_traits>;

// Kernel objects closed with CloseHandle: tokens, processes, threads, mappings.
struct handle_traits {
    using pointer = port::HANDLE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer handle) noexcept { port::Sys().CloseHandle(handle); }
};
using unique_handle = unique_resource<handle_traits>;

// Files and folders opened with CreateFileA: INVALID_HANDLE_VALUE when not open.
struct file_traits {
    using pointer = port::HANDLE;
    // INVALID_HANDLE_VALUE, spelled out: <windows.h> may have made the name a macro.
    static pointer invalid() noexcept { return reinterpret_cast<pointer>(std::intptr_t{-1}); }
    static void close(pointer file) noexcept { port::Sys().CloseHandle(file); }
};
using unique_file = unique_resource<file_traits>;

struct sid_traits {
    using pointer = port::PSID;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer sid) noexcept { port::Sys().FreeSid(sid); }
};
using unique_sid = unique_resource<sid_traits>;

struct hmodule_traits {
    using pointer = port::HMODULE;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer module) noexcept { port::Sys().FreeLibrary(module); }
};
using unique_hmodule = unique_resource<hmodule_traits>;

// A mapped view of a file mapping.
struct mapview_traits {
    using pointer = const void*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer view) noexcept { port::Sys().UnmapViewOfFile(view); }
};
using unique_mapview = unique_resource<mapview_traits>;

// Blocks the system allocated for us (FormatMessageA's text).
struct hlocal_traits {
    using pointer = char*;
    static pointer invalid() noexcept { return nullptr; }
    static void close(pointer block) noexcept { port::Sys().LocalFree(block); }
};
using unique_hlocal = unique_resource<hlocal_traits>;

// A directory search of the runtime (_findfirst): -1 when none is open.
struct findhandle_traits {
    using pointer = std::intptr_t;
    static pointer invalid() noexcept { return -1; }
    static void close(pointer search) noexcept { port::Sys().FindCloseEntry(search); }
};
using unique_findhandle = unique_resource<findhandle_traits>;

// Runs `undo` when the scope is left, unless release() said that the change
// is to be kept. `undo` must not throw; if it does, the exception stops here.
template <class F> class scope_exit {
public:
    explicit scope_exit(F undo) noexcept(std::is_nothrow_move_constructible_v<F>)
        : m_undo(std::move(undo)) {}
    scope_exit(const scope_exit&) = delete;
    scope_exit& operator=(const scope_exit&) = delete;
    ~scope_exit() {
        if (!m_active)
            return;
        try {
            m_undo();
        } catch (...) {
        }
    }
    void release() noexcept { m_active = false; }

private:
    F m_undo;
    bool m_active = true;
};
