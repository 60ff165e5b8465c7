// FakeOs: the process's error mode, kept and recorded.
#include "port/fake/fake_os.h"

namespace port {

UINT FakeOs::SetErrorMode(UINT mode) {
    errorModesSet.push_back(mode);
    UINT const previous = errorMode;
    errorMode = mode;
    return previous;
}

} // namespace port
