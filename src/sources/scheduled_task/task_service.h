// The few calls of the Task Scheduler 2.0 API the "Task" rows need, behind an
// interface of our own so that tests can stand in for the service. One
// object is one connection; tasks are named by their path as Task Scheduler
// shows it ("\Contoso\ContosoUpdate").
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

struct RegisteredTaskText {
  std::wstring path;
  bool enabled = false;  // the task's own switch, as the service reports it
  std::wstring xml;
};

class TaskService {
 public:
  virtual ~TaskService() = default;
  // The folders directly in a folder ("\" is the root), by their paths.
  virtual HRESULT Folders(const std::wstring& folder, std::vector<std::wstring>& paths) = 0;
  // The tasks directly in a folder; hidden ones only with TASK_ENUM_HIDDEN.
  virtual HRESULT Tasks(const std::wstring& folder, LONG flags,
                        std::vector<RegisteredTaskText>& tasks) = 0;
  virtual HRESULT Task(const std::wstring& path, RegisteredTaskText& task) = 0;
  virtual HRESULT SetEnabled(const std::wstring& path, bool enabled) = 0;
  // Owner, group and DACL, as SDDL.
  virtual HRESULT SecurityDescriptor(const std::wstring& path, std::wstring& sddl) = 0;
  virtual HRESULT Delete(const std::wstring& path) = 0;
  // Registers a new task (TASK_CREATE): fails when one is at `path`. An
  // empty `userId` or `sddl` is left out.
  virtual HRESULT Create(const std::wstring& path, const std::wstring& xml,
                         const std::wstring& userId, LONG logonType, const std::wstring& sddl) = 0;
};

// A connection to this machine's Task Scheduler, on the calling thread; null
// when there is none.
std::unique_ptr<TaskService> ConnectTaskService();

// What ConnectTaskService gives from now on; an empty function restores the
// system's service. For tests.
using TaskServiceConnector = std::function<std::unique_ptr<TaskService>()>;
void SetTaskServiceConnector(TaskServiceConnector connector);
