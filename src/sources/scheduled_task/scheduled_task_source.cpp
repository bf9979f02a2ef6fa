// The read half of "Task" rows: scheduled tasks started at logon or boot.
#include "details/image_resolution.h"
#include "sources/entry_source.h"
#include "sources/scheduled_task/scheduled_task_scan.h"

namespace {

class TaskSource : public EntrySource {
 public:
  const char* Type() const override { return ScheduledTaskType; }
  void Scan(RowSink& sink) const override { ScanScheduledTasks(sink); }

  // A task is switched by Task Scheduler, not by the start-up switch.
  bool FindApprovalSlot(const std::string&, const std::string&, ApprovalSlot&) const override {
    return false;
  }

  // Task Scheduler expands the variables of a program's path, in the
  // environment of the task's user.
  ResolvedImage Image(const std::string& command, const std::string& location,
                      const EntryOwner&, const UserEnvironment& environment) const override {
    ListedTask task;
    if (FindListedTask(location, task)) return CommandImage(task.imageCommand, true, environment);
    return CommandImage(command.substr(0, command.find(" & ")), true, environment);
  }

  std::string RegistryKeyOf(const std::string&) const override { return std::string(); }
  std::string FileOf(const std::string&) const override { return std::string(); }

  // The path names the task, its name included.
  bool NameIsIdentity() const override { return false; }

  // TaskCache is left alone: its values change at every run.
  void AddWatchedKeys(std::vector<RegistryLocation>&) const override {}
  void AddWatchedFolders(std::vector<std::string>& folders) const override {
    folders.push_back(TaskFolder());
  }
};

}  // namespace

const EntrySource& ScheduledTaskSource() {
  static const TaskSource source;
  return source;
}
