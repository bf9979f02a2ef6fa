// What a scheduled task's XML says about when it starts, what it runs and as
// whom, read with the system's XmlLite. A task file is input anyone who can
// register a task shapes: everything here is bounded.
#pragma once

#include <string>
#include <vector>

struct TaskTrigger {
  enum class Kind { Logon, Boot, Other };
  Kind kind = Kind::Other;
  bool enabled = true;
};

struct TaskAction {
  enum class Kind { Exec, ComHandler, Other };
  Kind kind = Kind::Other;
  std::wstring command, arguments;  // Exec
  std::wstring classId;             // ComHandler
};

struct TaskDefinition {
  std::vector<TaskTrigger> triggers;
  std::vector<TaskAction> actions;
  // The first principal's.
  std::wstring userId, groupId, logonType;
  bool enabled = true;  // Settings/Enabled
  bool hidden = false;  // Settings/Hidden
};

// The most triggers and actions kept of one task: more than Task Scheduler
// registers.
inline constexpr size_t TaskItemsMax = 64;
// The largest task text read, in bytes.
inline constexpr size_t TaskXmlSizeMax = 1 << 20;

// False when XmlLite cannot be loaded, the text is no well-formed XML or its
// root element is not "Task" (any namespace).
bool ParseTaskXml(const std::wstring& xml, TaskDefinition& definition);

// The text of a task file: UTF-16LE or UTF-8, each with its byte order mark;
// false for anything else.
bool DecodeTaskFile(const std::string& bytes, std::wstring& xml);

// Whether Windows starts the task at logon or boot: an enabled LogonTrigger
// or BootTrigger (the task's own switch aside).
bool StartsAtLogonOrBoot(const TaskDefinition& definition);

// Whether the task can only be registered again with its user's password.
bool NeedsPassword(const TaskDefinition& definition);
