// A Task Scheduler of the test's own, put where ConnectTaskService looks for
// the life of the object: tasks by path, with their XML, switch, hidden flag
// and descriptor, and every change it was asked to make.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sources/scheduled_task/scheduled_task_scan.h"
#include "sources/scheduled_task/task_service.h"

struct StandInTask {
  std::wstring xml;
  bool enabled = true;
  bool hidden = false;
  std::wstring sddl = L"O:BAG:SYD:(A;;FA;;;BA)";
};

struct StandInCreate {
  std::wstring path, xml, userId, sddl;
  LONG logonType = -1;
};

class TaskServiceStandIn {
 public:
  std::map<std::wstring, StandInTask> tasks;  // by path
  bool switchWorks = true;                    // false: put_Enabled says S_OK and does nothing
  std::vector<StandInCreate> created;

  TaskServiceStandIn() {
    SetTaskServiceConnector([this] { return std::unique_ptr<TaskService>(new Connection(*this)); });
    ForgetListedTasks();
  }
  ~TaskServiceStandIn() {
    SetTaskServiceConnector(nullptr);
    ForgetListedTasks();
  }

 private:
  static std::wstring FolderOf(const std::wstring& path) {
    const size_t at = path.rfind(L'\\');
    return at == 0 ? L"\\" : path.substr(0, at);
  }

  class Connection : public TaskService {
   public:
    explicit Connection(TaskServiceStandIn& owner) : o_(owner) {}
    HRESULT Folders(const std::wstring& folder, std::vector<std::wstring>& paths) override {
      for (const auto& [path, task] : o_.tasks)
        for (std::wstring f = FolderOf(path); f != L"\\"; f = FolderOf(f))
          if (FolderOf(f) == folder && std::find(paths.begin(), paths.end(), f) == paths.end())
            paths.push_back(f);
      return S_OK;
    }
    HRESULT Tasks(const std::wstring& folder, LONG flags,
                  std::vector<RegisteredTaskText>& out) override {
      for (const auto& [path, task] : o_.tasks)
        if (FolderOf(path) == folder && (!task.hidden || (flags & 1 /* TASK_ENUM_HIDDEN */)))
          out.push_back({path, task.enabled, task.xml});
      return S_OK;
    }
    HRESULT Task(const std::wstring& path, RegisteredTaskText& out) override {
      const auto found = o_.tasks.find(path);
      if (found == o_.tasks.end()) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
      out = {path, found->second.enabled, found->second.xml};
      return S_OK;
    }
    HRESULT SetEnabled(const std::wstring& path, bool enabled) override {
      if (o_.switchWorks) o_.tasks.at(path).enabled = enabled;
      return S_OK;
    }
    HRESULT SecurityDescriptor(const std::wstring& path, std::wstring& sddl) override {
      sddl = o_.tasks.at(path).sddl;
      return S_OK;
    }
    HRESULT Delete(const std::wstring& path) override {
      return o_.tasks.erase(path) ? S_OK : HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    }
    HRESULT Create(const std::wstring& path, const std::wstring& xml, const std::wstring& userId,
                   LONG logonType, const std::wstring& sddl) override {
      o_.created.push_back({path, xml, userId, sddl, logonType});
      if (o_.tasks.count(path)) return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
      o_.tasks[path] = {xml, true, false, sddl};
      return S_OK;
    }

   private:
    TaskServiceStandIn& o_;
  };
};

// A task's XML: `triggers` and `actions` are the elements' inner text.
inline std::wstring TaskXml(const std::wstring& triggers, const std::wstring& actions,
                            const std::wstring& principal = L"<UserId>S-1-5-18</UserId>",
                            const std::wstring& settings = L"") {
  return L"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
         L"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
         L"<Triggers>" + triggers + L"</Triggers>"
         L"<Principals><Principal id=\"Author\">" + principal + L"</Principal></Principals>"
         L"<Settings>" + settings + L"</Settings>"
         L"<Actions Context=\"Author\">" + actions + L"</Actions></Task>";
}
