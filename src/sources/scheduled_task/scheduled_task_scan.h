// Lists the scheduled tasks Windows starts at logon or boot: every task of
// every folder, hidden ones included, with an enabled logon or boot trigger,
// except Windows' own below \Microsoft\Windows\. Listed through the Task
// Scheduler; where it lists no task with a trigger or an action (Wine's stub
// stores neither), the task files are read instead, and their rows offer no
// action.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "scan/row_sink.h"
#include "sources/scheduled_task/task_service.h"

// The Type text of its rows (sources/entry_source.h).
inline constexpr char ScheduledTaskType[] = "Task";

// The most task files read, and folders deep.
inline constexpr size_t TaskFilesMax = 20000;
inline constexpr size_t TaskFolderDepthMax = 16;

// A task as its row shows it.
struct ListedTask {
  std::string name;      // the task's name
  std::string command;   // every action in order, joined by " & "
  std::string location;  // its path, "\Contoso\ContosoUpdate"
  // A command line whose program is the image: the first program action's,
  // else the first COM handler's server; empty for none.
  std::string imageCommand;
  EntryOwner owner;  // the task's principal
  bool enabled = false;
};

// %SystemRoot%\System32\Tasks as this program reaches it (through Sysnative
// in a 32-bit program on 64-bit Windows).
std::string TaskFolder();

// Whether a task path lies below \Microsoft\Windows\ (letter case aside).
bool IsWindowsOwnTask(const std::wstring& path);

// Every task the service lists in every folder, hidden ones included: each
// folder's tasks, then its folders in turn, at most TaskFolderDepthMax deep.
void ReadServiceTasks(TaskService& service, std::vector<RegisteredTaskText>& tasks);

// Every task file below `folder`, named by its path below it ("\a\b"), in
// name order, each folder's files before its folders, handed to `take` one
// at a time. Links are not followed; files over TaskXmlSizeMax or in no known
// encoding are left out.
using TaskTextHandler = std::function<void(const RegisteredTaskText& task)>;
void ReadTaskFiles(const std::string& folder, const TaskTextHandler& take);

struct TaskDefinition;

// The Command text of a task: each program action's program (quoted where it
// has a blank) and arguments, each COM handler's class id and, in
// parentheses, the server it loads, in order, joined by " & ". `imageCommand`
// gets ListedTask's.
std::string TaskCommandText(const TaskDefinition& definition, std::string* imageCommand = nullptr);

// The rows of the tasks that start at logon or boot, outside Windows' own,
// in the order added. `fromFiles`: the task's switch is its file's
// Settings/Enabled, and the owners say the rows are copies.
class TaskRows {
 public:
  explicit TaskRows(bool fromFiles) : fromFiles_(fromFiles) {}
  // Parses the task into `definition` and adds its row where it has one;
  // false when its XML does not parse.
  bool Add(const RegisteredTaskText& task, TaskDefinition& definition);
  std::vector<ListedTask> rows;

 private:
  bool fromFiles_;
  std::map<std::wstring, EntryOwner> owners_;  // an account is looked up once
};

// The rows as the service or the task files give them now. Read again only
// when the task folder changed since the last reading, or after
// ForgetListedTasks.
std::shared_ptr<const std::vector<ListedTask>> CurrentTasks();
void ForgetListedTasks();

// The task of that Location in the last reading; false when there is none.
bool FindListedTask(const std::string& location, ListedTask& task);

void ScanScheduledTasks(RowSink& sink);
