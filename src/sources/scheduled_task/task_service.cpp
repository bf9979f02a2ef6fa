#include "sources/scheduled_task/task_service.h"

#include <oleauto.h>
#include <taskschd.h>

#include <mutex>

namespace {

std::mutex g_connectorLock;
TaskServiceConnector g_connector;

// A BSTR freed with the object.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& text)
      : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR* out() { return &text_; }
  operator BSTR() const { return text_; }
  std::wstring str() const { return text_ ? std::wstring(text_, SysStringLen(text_)) : L""; }

 private:
  BSTR text_ = nullptr;
};

// A COM pointer released with the object.
template <class T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (p_) p_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T** out() { return &p_; }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

VARIANT Empty() {
  VARIANT value;
  VariantInit(&value);
  return value;
}

VARIANT Index(LONG index) {
  VARIANT value = Empty();
  value.vt = VT_I4;
  value.lVal = index;
  return value;
}

VARIANT Text(BSTR text) {
  VARIANT value = Empty();
  if (!text || !SysStringLen(text)) return value;
  value.vt = VT_BSTR;
  value.bstrVal = text;  // borrowed: the caller's Bstr frees it
  return value;
}

HRESULT ReadTask(IRegisteredTask& task, RegisteredTaskText& text) {
  Bstr path, xml;
  VARIANT_BOOL enabled = VARIANT_FALSE;
  HRESULT result = task.get_Path(path.out());
  if (SUCCEEDED(result)) result = task.get_Enabled(&enabled);
  if (SUCCEEDED(result)) result = task.get_Xml(xml.out());
  if (FAILED(result)) return result;
  text.path = path.str();
  text.enabled = enabled != VARIANT_FALSE;
  text.xml = xml.str();
  return S_OK;
}

// COM on the calling thread for as long as the object lives; a thread already
// in the other model can still make the calls.
class ComApartment {
 public:
  ComApartment() : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (initialized_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialized_;
};

class SystemTaskService : public TaskService {
 public:
  bool Connect() {
    if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ITaskService, reinterpret_cast<void**>(service_.out()))))
      return false;
    VARIANT none = Empty();
    return SUCCEEDED(service_->Connect(none, none, none, none)) &&
           SUCCEEDED(service_->GetFolder(Bstr(L"\\"), root_.out()));
  }

  HRESULT Folders(const std::wstring& folder, std::vector<std::wstring>& paths) override {
    Com<ITaskFolder> parent;
    Com<ITaskFolderCollection> folders;
    LONG count = 0;
    HRESULT result = Open(folder, parent);
    if (SUCCEEDED(result)) result = Folder(folder, parent)->GetFolders(0, folders.out());
    if (SUCCEEDED(result)) result = folders->get_Count(&count);
    for (LONG i = 1; SUCCEEDED(result) && i <= count; ++i) {
      Com<ITaskFolder> child;
      Bstr path;
      if (SUCCEEDED(folders->get_Item(Index(i), child.out())) &&
          SUCCEEDED(child->get_Path(path.out())))
        paths.push_back(path.str());
    }
    return result;
  }

  HRESULT Tasks(const std::wstring& folder, LONG flags,
                std::vector<RegisteredTaskText>& tasks) override {
    Com<ITaskFolder> parent;
    Com<IRegisteredTaskCollection> listed;
    LONG count = 0;
    HRESULT result = Open(folder, parent);
    if (SUCCEEDED(result)) result = Folder(folder, parent)->GetTasks(flags, listed.out());
    if (SUCCEEDED(result)) result = listed->get_Count(&count);
    for (LONG i = 1; SUCCEEDED(result) && i <= count; ++i) {
      Com<IRegisteredTask> task;
      RegisteredTaskText text;
      // One that cannot be read (its user's only) is left out.
      if (SUCCEEDED(listed->get_Item(Index(i), task.out())) && 
          SUCCEEDED(ReadTask(*task.get(), text)))
        tasks.push_back(std::move(text));
    }
    return result;
  }

  HRESULT Task(const std::wstring& path, RegisteredTaskText& text) override {
    Com<IRegisteredTask> task;
    const HRESULT result = root_->GetTask(Bstr(path), task.out());
    return FAILED(result) ? result : ReadTask(*task.get(), text);
  }

  HRESULT SetEnabled(const std::wstring& path, bool enabled) override {
    Com<IRegisteredTask> task;
    const HRESULT result = root_->GetTask(Bstr(path), task.out());
    return FAILED(result) ? result : task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE);
  }

  HRESULT SecurityDescriptor(const std::wstring& path, std::wstring& sddl) override {
    Com<IRegisteredTask> task;
    Bstr text;
    HRESULT result = root_->GetTask(Bstr(path), task.out());
    if (SUCCEEDED(result))
      result = task->GetSecurityDescriptor(
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
          text.out());
    if (SUCCEEDED(result)) sddl = text.str();
    return result;
  }

  HRESULT Delete(const std::wstring& path) override {
    const size_t separator = path.rfind(L'\\');
    if (separator == std::wstring::npos) return E_INVALIDARG;
    const std::wstring folder = separator ? path.substr(0, separator) : L"\\";
    Com<ITaskFolder> parent;
    const HRESULT result = Open(folder, parent);
    return FAILED(result) ? result
                          : Folder(folder, parent)->DeleteTask(Bstr(path.substr(separator + 1)), 0);
  }

  HRESULT Create(const std::wstring& path, const std::wstring& xml, const std::wstring& userId,
                 LONG logonType, const std::wstring& sddl) override {
    Bstr user(userId), descriptor(sddl);
    Com<IRegisteredTask> task;
    return root_->RegisterTask(Bstr(path), Bstr(xml), TASK_CREATE, Text(user), Empty(),
                               static_cast<TASK_LOGON_TYPE>(logonType), Text(descriptor),
                               task.out());
  }

 private:
  // The root is the connection's own (Wine refuses to open "\\" from it).
  HRESULT Open(const std::wstring& folder, Com<ITaskFolder>& opened) {
    return folder == L"\\" ? S_OK : root_->GetFolder(Bstr(folder), opened.out());
  }
  ITaskFolder* Folder(const std::wstring& folder, const Com<ITaskFolder>& opened) {
    return folder == L"\\" ? root_.get() : opened.get();
  }

  // Declared first, so that it goes after the interfaces.
  ComApartment apartment_;
  Com<ITaskService> service_;
  Com<ITaskFolder> root_;
};

}  // namespace

std::unique_ptr<TaskService> ConnectTaskService() {
  {
    std::lock_guard<std::mutex> lock(g_connectorLock);
    if (g_connector) return g_connector();
  }
  auto service = std::make_unique<SystemTaskService>();
  if (!service->Connect()) return nullptr;
  return service;
}

void SetTaskServiceConnector(TaskServiceConnector connector) {
  std::lock_guard<std::mutex> lock(g_connectorLock);
  g_connector = std::move(connector);
}
