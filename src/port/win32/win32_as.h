// Between the port's opaque handles and pointers and those of <windows.h>.
// Windows only.
#pragma once

namespace port {

template <class T, class U> T As(U value) {
    return reinterpret_cast<T>(value);
}

} // namespace port
