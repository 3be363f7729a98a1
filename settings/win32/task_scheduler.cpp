#include "task_scheduler.h"

#include <windows.h>

#include <oleauto.h>
#include <taskschd.h>

#include <cstdio>

namespace zubeto::win32::tasks {

namespace {

// SCHED_E_SERVICE_NOT_RUNNING: the scheduler's service is not running.
constexpr HRESULT kServiceNotRunning = static_cast<HRESULT>(0x80041315L);

std::wstring wide(const std::string& ansi) {
  if (ansi.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), n);
  return w;
}

std::string narrow(const wchar_t* w, int length) {
  if (!w || length <= 0) return {};
  const int n = ::WideCharToMultiByte(CP_ACP, 0, w, length, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(CP_ACP, 0, w, length, s.data(), n, nullptr, nullptr);
  return s;
}

// The system's words for a failure, with its code.
std::string describe(HRESULT hr) {
  char code[32];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
  wchar_t* words = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&words), 0, nullptr);
  std::string text = n ? narrow(words, static_cast<int>(n)) : std::string();
  if (words) ::LocalFree(words);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text.empty() ? std::string(code) : text + " (" + code + ")";
}

class Bstr {
 public:
  explicit Bstr(const std::wstring& w) : b_(::SysAllocStringLen(w.data(), static_cast<UINT>(w.size()))) {}
  ~Bstr() { ::SysFreeString(b_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return b_; }

 private:
  BSTR b_;
};

template <class T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
  T** out() { return &p; }
  T* operator->() const { return p; }
};

// True when the scheduler's service runs. Asked first: a connection to a
// service that is not running may wait a long time before it fails, and the
// window asks at every start.
bool service_running() {
  SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return true;  // not to be told: the connection will tell
  bool running = true;
  if (SC_HANDLE service = ::OpenServiceW(manager, L"Schedule", SERVICE_QUERY_STATUS)) {
    SERVICE_STATUS st{};
    if (::QueryServiceStatus(service, &st)) running = st.dwCurrentState == SERVICE_RUNNING;
    ::CloseServiceHandle(service);
  }
  ::CloseServiceHandle(manager);
  return running;
}

// The scheduler's top folder; the failure's words in *error.
bool top_folder(Ref<ITaskService>& service, Ref<ITaskFolder>& folder, std::string* error) {
  if (!service_running()) {
    if (error) *error = describe(kServiceNotRunning);
    return false;
  }
  HRESULT hr = ::CoCreateInstance(__uuidof(TaskScheduler), nullptr, CLSCTX_INPROC_SERVER, __uuidof(ITaskService),
                                  reinterpret_cast<void**>(service.out()));
  if (SUCCEEDED(hr)) {
    VARIANT none;
    ::VariantInit(&none);
    hr = service->Connect(none, none, none, none);
  }
  if (SUCCEEDED(hr)) hr = service->GetFolder(Bstr(L"\\"), folder.out());
  if (FAILED(hr)) {
    if (error) *error = describe(hr);
    return false;
  }
  return true;
}

// COM on this thread for the call, whatever the caller did (the window's
// thread has OLE already: the call then only counts up and down).
struct ComScope {
  HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ~ComScope() {
    if (SUCCEEDED(hr)) ::CoUninitialize();
  }
};

}  // namespace

bool register_task(const std::string& name, const std::string& xml, std::string* error) {
  ComScope com;
  Ref<ITaskService> service;
  Ref<ITaskFolder> folder;
  if (!top_folder(service, folder, error)) return false;
  VARIANT none;
  ::VariantInit(&none);
  Ref<IRegisteredTask> task;
  const HRESULT hr = folder->RegisterTask(Bstr(wide(name)), Bstr(wide(xml)), TASK_CREATE_OR_UPDATE, none, none,
                                          TASK_LOGON_INTERACTIVE_TOKEN, none, task.out());
  if (FAILED(hr)) {
    if (error) *error = describe(hr);
    return false;
  }
  return true;
}

bool delete_task(const std::string& name, std::string* error) {
  ComScope com;
  Ref<ITaskService> service;
  Ref<ITaskFolder> folder;
  if (!top_folder(service, folder, error)) return false;
  const HRESULT hr = folder->DeleteTask(Bstr(wide(name)), 0);
  // A task that is not there is gone all the same.
  if (FAILED(hr) && hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) {
    if (error) *error = describe(hr);
    return false;
  }
  return true;
}

std::optional<std::string> read_task(const std::string& name, std::string* next_run) {
  if (next_run) next_run->clear();
  ComScope com;
  Ref<ITaskService> service;
  Ref<ITaskFolder> folder;
  if (!top_folder(service, folder, nullptr)) return std::nullopt;
  Ref<IRegisteredTask> task;
  if (FAILED(folder->GetTask(Bstr(wide(name)), task.out())) || !task.p) return std::nullopt;
  BSTR xml = nullptr;
  std::string definition;
  if (SUCCEEDED(task->get_Xml(&xml)) && xml) definition = narrow(xml, static_cast<int>(::SysStringLen(xml)));
  ::SysFreeString(xml);
  DATE next = 0;
  SYSTEMTIME st{};
  if (next_run && SUCCEEDED(task->get_NextRunTime(&next)) && next > 0 && ::VariantTimeToSystemTime(next, &st)) {
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute);
    *next_run = text;
  }
  return definition;
}

}  // namespace zubeto::win32::tasks
