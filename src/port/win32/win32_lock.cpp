// Win32Os: the calls of the machine-wide lock. The functions newer than
// Windows NT 4.0 are found in the modules every process has loaded (kernel32
// and advapi32) at their first call, so that the program still starts where
// they are missing; there each call fails with ERROR_PROC_NOT_FOUND.
#include "port/win32/win32_os.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

namespace port {

namespace {

template <class Fn> Fn Find(const char* module, const char* name) {
    ::HMODULE const loaded = ::GetModuleHandleA(module);
    return loaded ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(loaded, name)))
                  : nullptr;
}

// The entry points, looked up once.
struct LockFunctions {
    using Convert = BOOL(WINAPI*)(LPCSTR, DWORD, PSECURITY_DESCRIPTOR*, PULONG);
    using CreateBoundary = HANDLE(WINAPI*)(LPCSTR, ULONG);
    using AddSid = BOOL(WINAPI*)(HANDLE*, PSID);
    using DeleteBoundary = VOID(WINAPI*)(HANDLE);
    using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCSTR);
    using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCSTR);
    using CloseNamespace = BOOLEAN(WINAPI*)(HANDLE, ULONG);

    Convert convert =
        Find<Convert>("advapi32.dll", "ConvertStringSecurityDescriptorToSecurityDescriptorA");
    CreateBoundary createBoundary =
        Find<CreateBoundary>("kernel32.dll", "CreateBoundaryDescriptorA");
    AddSid addSid = Find<AddSid>("kernel32.dll", "AddSIDToBoundaryDescriptor");
    DeleteBoundary deleteBoundary =
        Find<DeleteBoundary>("kernel32.dll", "DeleteBoundaryDescriptor");
    CreateNamespace createNamespace =
        Find<CreateNamespace>("kernel32.dll", "CreatePrivateNamespaceA");
    OpenNamespace openNamespace = Find<OpenNamespace>("kernel32.dll", "OpenPrivateNamespaceA");
    CloseNamespace closeNamespace = Find<CloseNamespace>("kernel32.dll", "ClosePrivateNamespace");
};

const LockFunctions& Functions() {
    static LockFunctions const functions;
    return functions;
}

bool Missing(const void* function) {
    if (function)
        return false;
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return true;
}

SECURITY_ATTRIBUTES Attributes(void* descriptor) {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = descriptor;
    attributes.bInheritHandle = FALSE;
    return attributes;
}

} // namespace

BOOL Win32Os::ConvertStringSecurityDescriptorToSecurityDescriptorA(const char* text,
                                                                   void** descriptor) {
    auto const convert = Functions().convert;
    if (Missing(reinterpret_cast<const void*>(convert)))
        return FALSE;
    return convert(text, SDDL_REVISION_1, descriptor, nullptr);
}

HANDLE Win32Os::CreateMutexSecuredA(void* descriptor, BOOL initialOwner, const char* name) {
    SECURITY_ATTRIBUTES attributes = Attributes(descriptor);
    return ::CreateMutexA(&attributes, initialOwner, name);
}

DWORD Win32Os::GetKernelObjectOwner(HANDLE object, PSID* owner, void** descriptor) {
    return ::GetSecurityInfo(object, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr,
                             nullptr, nullptr, descriptor);
}

HANDLE Win32Os::CreateBoundaryDescriptorA(const char* name, DWORD flags) {
    auto const create = Functions().createBoundary;
    if (Missing(reinterpret_cast<const void*>(create)))
        return nullptr;
    return create(name, flags);
}

BOOL Win32Os::AddSIDToBoundaryDescriptor(HANDLE* boundary, PSID sid) {
    auto const add = Functions().addSid;
    if (Missing(reinterpret_cast<const void*>(add)))
        return FALSE;
    return add(boundary, sid);
}

void Win32Os::DeleteBoundaryDescriptor(HANDLE boundary) {
    if (auto const remove = Functions().deleteBoundary)
        remove(boundary);
}

HANDLE Win32Os::CreatePrivateNamespaceA(void* descriptor, HANDLE boundary, const char* alias) {
    auto const create = Functions().createNamespace;
    if (Missing(reinterpret_cast<const void*>(create)))
        return nullptr;
    SECURITY_ATTRIBUTES attributes = Attributes(descriptor);
    return create(descriptor ? &attributes : nullptr, boundary, alias);
}

HANDLE Win32Os::OpenPrivateNamespaceA(HANDLE boundary, const char* alias) {
    auto const open = Functions().openNamespace;
    if (Missing(reinterpret_cast<const void*>(open)))
        return nullptr;
    return open(boundary, alias);
}

BOOL Win32Os::ClosePrivateNamespace(HANDLE privateNamespace, DWORD flags) {
    auto const close = Functions().closeNamespace;
    if (Missing(reinterpret_cast<const void*>(close)))
        return FALSE;
    return close(privateNamespace, flags) ? TRUE : FALSE;
}

} // namespace port
