// A sample run-time component. The same source is built once per distributed file name; at run time
// the component still takes its name from the file it was loaded from, so a copy under any name
// records itself under that name.
//
// DllRegisterServer writes, under HKLM\Software\HorundeSample:
//   Registered      value <file name> = full path (REG_SZ)
//   RegisteredBy    value <file name> = full path of the program that registered it, the registrar (REG_SZ)
//   RegisterCount   value <file name> = number of registrations so far (REG_DWORD)
//   RegistrarPolicy value <file name> = "prefer_system32=<1, 0 or unknown>": the registrar's own image-load policy,
//                   read with GetProcessMitigationPolicy (unknown on Windows 7 and 8.1) (REG_SZ)
// A 32-bit component on 64-bit Windows writes through the 32-bit registry view (WOW6432Node).
// DllUnregisterServer removes the Registered value and leaves the count.

#include <windows.h>
#include <olectl.h>

#ifndef SAMPLE_COMPONENT_NAME
#error "SAMPLE_COMPONENT_NAME must name the file this component is distributed as"
#endif

#define SAMPLE_WIDEN2(x) L##x
#define SAMPLE_WIDEN(x) SAMPLE_WIDEN2(x)

// Makes each built file differ from its siblings, so a test can tell which one was copied where.
extern "C" __attribute__((used)) const wchar_t kSampleComponentBuiltAs[] =
    L"Horunde sample component " SAMPLE_WIDEN(SAMPLE_COMPONENT_NAME);

namespace {

HMODULE g_module = nullptr;

constexpr wchar_t kRegisteredKey[] = L"Software\\HorundeSample\\Registered";
constexpr wchar_t kRegisteredByKey[] = L"Software\\HorundeSample\\RegisteredBy";
constexpr wchar_t kPolicyKey[] = L"Software\\HorundeSample\\RegistrarPolicy";
constexpr wchar_t kCountKey[] = L"Software\\HorundeSample\\RegisterCount";
// Several registrars run at once during an install; the read-increment-write of a count is kept whole.
constexpr wchar_t kCountMutex[] = L"Local\\HorundeSampleRegisterCount";

class Key {
public:
    Key() = default;
    ~Key() { if (h_) RegCloseKey(h_); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return h_; }
    HKEY* put() { return &h_; }
private:
    HKEY h_ = nullptr;
};

class Mutex {
public:
    explicit Mutex(const wchar_t* name) : h_(CreateMutexW(nullptr, FALSE, name)) {
        if (h_) WaitForSingleObject(h_, 10000);
    }
    ~Mutex() {
        if (h_) {
            ReleaseMutex(h_);
            CloseHandle(h_);
        }
    }
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
private:
    HANDLE h_;
};

// No C++ library here: the components stay a few kilobytes.
struct OwnPath {
    wchar_t path[MAX_PATH * 2];
    DWORD length = 0;     // characters, without the terminator
    const wchar_t* name = nullptr;  // name part of path, as the loader reports it (case kept)

    bool Read(HMODULE module) {
        length = GetModuleFileNameW(module, path, ARRAYSIZE(path));
        if (length == 0 || length >= ARRAYSIZE(path)) return false;
        name = path;
        for (const wchar_t* p = path; *p; ++p) {
            if (*p == L'\\' || *p == L'/') name = p + 1;
        }
        return *name != L'\0';
    }
};

bool CreateKey(const wchar_t* sub, Key& key) {
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, sub, 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, key.put(), nullptr) == ERROR_SUCCESS;
}

bool SetText(const wchar_t* sub, const wchar_t* name, const OwnPath& value) {
    Key key;
    return CreateKey(sub, key) &&
           RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.path),
                          (value.length + 1) * sizeof(wchar_t)) == ERROR_SUCCESS;
}

// The registrar's image-load policy, as it reads it itself: "prefer_system32=1", "=0" or "=unknown".
bool SetRegistrarPolicy(const wchar_t* name) {
    using GetPolicyFn = BOOL(WINAPI*)(HANDLE, PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const auto get = reinterpret_cast<GetPolicyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProcessMitigationPolicy")));
    PROCESS_MITIGATION_IMAGE_LOAD_POLICY policy{};
    const wchar_t* text = L"prefer_system32=unknown";
    if (get && get(GetCurrentProcess(), ProcessImageLoadPolicy, &policy, sizeof policy)) {
        text = policy.PreferSystem32Images ? L"prefer_system32=1" : L"prefer_system32=0";
    }
    Key key;
    return CreateKey(kPolicyKey, key) &&
           RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          (lstrlenW(text) + 1) * sizeof(wchar_t)) == ERROR_SUCCESS;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    OwnPath self, registrar;
    if (!self.Read(g_module) || !registrar.Read(nullptr)) return SELFREG_E_CLASS;
    if (!SetText(kRegisteredKey, self.name, self) || !SetText(kRegisteredByKey, self.name, registrar) ||
        !SetRegistrarPolicy(self.name)) {
        return SELFREG_E_CLASS;
    }

    Mutex guard(kCountMutex);
    Key counts;
    if (!CreateKey(kCountKey, counts)) return SELFREG_E_CLASS;
    DWORD count = 0, type = 0, size = sizeof(count);
    if (RegQueryValueExW(counts.get(), self.name, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(count)) {
        count = 0;
    }
    ++count;
    if (RegSetValueExW(counts.get(), self.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count),
                       sizeof(count)) != ERROR_SUCCESS) {
        return SELFREG_E_CLASS;
    }
    return S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    OwnPath self;
    if (!self.Read(g_module)) return SELFREG_E_CLASS;
    Key registered;
    LONG rc = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRegisteredKey, 0, KEY_SET_VALUE, registered.put());
    if (rc == ERROR_FILE_NOT_FOUND) return S_OK;  // never registered: already gone
    if (rc != ERROR_SUCCESS) return SELFREG_E_CLASS;
    rc = RegDeleteValueW(registered.get(), self.name);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
