// Tasks in the task scheduler's root folder over COM (Task Scheduler 2.0, Vista and later).
// ole32 and oleaut32 are loaded when a task is first registered or deleted and stay loaded:
// a silent start at log-on never loads them, and the program imports nothing from them.
#include "os/win32/TaskScheduler.h"

#include <objbase.h>
#include <taskschd.h>
#include <windows.h>

#include <string>

namespace os {
namespace {

// {0F87369F-A4E5-4CFC-BD3E-73E6154572DD}, {2FABA4C7-4DA9-4013-9697-20CC3FD40F85}
const CLSID kClsidTaskScheduler = {
    0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
const IID kIidTaskService = {
    0x2faba4c7, 0x4da9, 0x4013, {0x96, 0x97, 0x20, 0xcc, 0x3f, 0xd4, 0x0f, 0x85}};

struct Com {
  decltype(&::CoInitializeEx) coInitializeEx = nullptr;
  decltype(&::CoUninitialize) coUninitialize = nullptr;
  decltype(&::CoInitializeSecurity) coInitializeSecurity = nullptr;
  decltype(&::CoCreateInstance) coCreateInstance = nullptr;
  decltype(&::SysAllocString) sysAllocString = nullptr;
  decltype(&::SysFreeString) sysFreeString = nullptr;
};

template <typename F>
bool Find(HMODULE module, const char* name, F* fn) {
  *fn = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  return *fn != nullptr;
}

// The COM calls, or an HRESULT for the library or call that is missing.
HRESULT LoadCom(Com* com) {
  HMODULE ole32 = ::LoadLibraryA("ole32.dll");
  HMODULE oleaut32 = ole32 != nullptr ? ::LoadLibraryA("oleaut32.dll") : nullptr;
  if (ole32 == nullptr || oleaut32 == nullptr) return HRESULT_FROM_WIN32(::GetLastError());
  bool found = Find(ole32, "CoInitializeEx", &com->coInitializeEx) &&
               Find(ole32, "CoUninitialize", &com->coUninitialize) &&
               Find(ole32, "CoInitializeSecurity", &com->coInitializeSecurity) &&
               Find(ole32, "CoCreateInstance", &com->coCreateInstance) &&
               Find(oleaut32, "SysAllocString", &com->sysAllocString) &&
               Find(oleaut32, "SysFreeString", &com->sysFreeString);
  return found ? S_OK : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
}

// A BSTR holding ANSI text converted from the process's code page; released when it goes.
class Bstr {
 public:
  Bstr(const Com& com, const char* text) : com_(com) {
    int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length) != length) return;
    value_ = com_.sysAllocString(wide.c_str());
  }
  ~Bstr() {
    if (value_ != nullptr) com_.sysFreeString(value_);
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  const Com& com_;
  BSTR value_ = nullptr;
};

template <typename T>
void Release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

// Runs `work` on the connected scheduler's root folder, with COM ready on this thread for the
// time it takes.
template <typename Work>
HRESULT WithRootFolder(Work work) {
  Com com;
  HRESULT result = LoadCom(&com);
  if (FAILED(result)) return result;
  HRESULT init = com.coInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // A thread already in another apartment can still make the calls.
  if (FAILED(init) && init != RPC_E_CHANGED_MODE) return init;
  // The scheduler acts for the caller, which needs impersonation; once set for the process
  // (or refused because it was set before), that is what stays.
  com.coInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT_PRIVACY,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  ITaskService* service = nullptr;
  ITaskFolder* folder = nullptr;
  result = com.coCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER, kIidTaskService,
                                reinterpret_cast<void**>(&service));
  if (SUCCEEDED(result)) {
    VARIANT none{};  // VT_EMPTY
    result = service->Connect(none, none, none, none);
  }
  if (SUCCEEDED(result)) {
    Bstr root(com, "\\");
    result = root.get() == nullptr ? E_OUTOFMEMORY : service->GetFolder(root.get(), &folder);
  }
  if (SUCCEEDED(result)) result = work(com, folder);
  Release(folder);
  Release(service);
  if (SUCCEEDED(init)) com.coUninitialize();
  return result;
}

}  // namespace

HResult RegisterRootTask(const char* name, const char* xml, Long logonType) {
  return WithRootFolder([&](const Com& com, ITaskFolder* folder) -> HRESULT {
    Bstr path(com, name);
    Bstr text(com, xml);
    if (path.get() == nullptr || text.get() == nullptr) return E_OUTOFMEMORY;
    VARIANT none{};  // VT_EMPTY
    IRegisteredTask* task = nullptr;
    HRESULT result = folder->RegisterTask(path.get(), text.get(), TASK_CREATE_OR_UPDATE, none, none,
                                          static_cast<TASK_LOGON_TYPE>(logonType), none, &task);
    Release(task);
    return result;
  });
}

HResult DeleteRootTask(const char* name) {
  return WithRootFolder([&](const Com& com, ITaskFolder* folder) -> HRESULT {
    Bstr path(com, name);
    if (path.get() == nullptr) return E_OUTOFMEMORY;
    return folder->DeleteTask(path.get(), 0);
  });
}

}  // namespace os
