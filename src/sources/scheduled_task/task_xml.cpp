#include "sources/scheduled_task/task_xml.h"

#include <windows.h>

#include <shlwapi.h>

#include "scan/xml_reader.h"
#include "util/text_encoding.h"

namespace {

constexpr size_t kTextMax = 32 * 1024;  // of one element's text
constexpr UINT kDepthMax = 32;

bool Is(const std::vector<std::wstring>& path, std::initializer_list<const wchar_t*> names) {
  if (path.size() != names.size()) return false;
  size_t i = 0;
  for (const wchar_t* name : names)
    if (path[i++] != name) return false;
  return true;
}

// xs:boolean, blanks around it allowed; anything else keeps the default.
void ReadBoolean(const std::wstring& text, bool& value) {
  const size_t first = text.find_first_not_of(L" \t\r\n");
  const size_t last = text.find_last_not_of(L" \t\r\n");
  const std::wstring word = first == std::wstring::npos ? L"" : text.substr(first, last - first + 1);
  if (word == L"true" || word == L"1") value = true;
  if (word == L"false" || word == L"0") value = false;
}

std::wstring Trimmed(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return std::wstring();
  return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

class TaskReader {
 public:
  explicit TaskReader(TaskDefinition& definition) : definition_(definition) {}

  void Start(const std::vector<std::wstring>& path) {
    if (path.size() != 3) return;
    if (path[1] == L"Triggers" && definition_.triggers.size() < TaskItemsMax) {
      definition_.triggers.emplace_back();
      definition_.triggers.back().kind = path[2] == L"LogonTrigger"  ? TaskTrigger::Kind::Logon
                                         : path[2] == L"BootTrigger" ? TaskTrigger::Kind::Boot
                                                                     : TaskTrigger::Kind::Other;
      trigger_ = &definition_.triggers.back();
    } else if (path[1] == L"Triggers") {
      trigger_ = nullptr;
    }
    if (path[1] == L"Actions" && definition_.actions.size() < TaskItemsMax) {
      definition_.actions.emplace_back();
      definition_.actions.back().kind = path[2] == L"Exec"         ? TaskAction::Kind::Exec
                                        : path[2] == L"ComHandler" ? TaskAction::Kind::ComHandler
                                                                   : TaskAction::Kind::Other;
      action_ = &definition_.actions.back();
    } else if (path[1] == L"Actions") {
      action_ = nullptr;
    }
    if (path[1] == L"Principals" && path[2] == L"Principal") ++principals_;
  }

  void End(const std::vector<std::wstring>& path, const std::wstring& text) {
    if (path.size() == 4 && path[1] == L"Triggers" && path[3] == L"Enabled" && trigger_)
      ReadBoolean(text, trigger_->enabled);
    if (path.size() == 4 && path[1] == L"Actions" && action_) {
      if (path[2] == L"Exec" && path[3] == L"Command") action_->command = Trimmed(text);
      if (path[2] == L"Exec" && path[3] == L"Arguments") action_->arguments = Trimmed(text);
      if (path[2] == L"ComHandler" && path[3] == L"ClassId") action_->classId = Trimmed(text);
    }
    if (principals_ == 1 && path.size() == 4 && path[1] == L"Principals" &&
        path[2] == L"Principal") {
      if (path[3] == L"UserId") definition_.userId = Trimmed(text);
      if (path[3] == L"GroupId") definition_.groupId = Trimmed(text);
      if (path[3] == L"LogonType") definition_.logonType = Trimmed(text);
    }
    if (Is(path, {L"Task", L"Settings", L"Enabled"})) ReadBoolean(text, definition_.enabled);
    if (Is(path, {L"Task", L"Settings", L"Hidden"})) ReadBoolean(text, definition_.hidden);
  }

 private:
  TaskDefinition& definition_;
  TaskTrigger* trigger_ = nullptr;  // the trigger being read, if kept
  TaskAction* action_ = nullptr;
  int principals_ = 0;
};

bool ReadTask(IXmlReader& reader, TaskDefinition& definition) {
  TaskReader task(definition);
  std::vector<std::wstring> path;
  std::wstring text;
  bool root = false;
  XmlNodeType type;
  HRESULT result;
  while ((result = reader.Read(&type)) == S_OK) {
    const wchar_t* value = nullptr;
    UINT length = 0;
    switch (type) {
      case XmlNodeType_Element: {
        const bool empty = reader.IsEmptyElement();
        if (FAILED(reader.GetLocalName(&value, &length))) return false;
        if (path.empty()) {
          if (root || std::wstring(value, length) != L"Task") return false;
          root = true;
        }
        path.emplace_back(value, length);
        text.clear();
        task.Start(path);
        if (empty) {
          task.End(path, text);
          path.pop_back();
        }
        break;
      }
      case XmlNodeType_EndElement:
        if (path.empty()) return false;
        task.End(path, text);
        path.pop_back();
        text.clear();
        break;
      case XmlNodeType_Text:
      case XmlNodeType_CDATA:
      case XmlNodeType_Whitespace:
        if (FAILED(reader.GetValue(&value, &length))) return false;
        if (text.size() + length <= kTextMax) text.append(value, length);
        break;
      default:
        break;
    }
  }
  return result == S_FALSE && root && path.empty();
}

}  // namespace

bool ParseTaskXml(const std::wstring& xml, TaskDefinition& definition) {
  definition = TaskDefinition();
  if (xml.size() * sizeof(wchar_t) > TaskXmlSizeMax) return false;
  // The text is handed over as UTF-16 with its mark, without a declaration
  // that could name another encoding than the one the text was decoded from.
  std::wstring body = xml;
  if (!body.empty() && body[0] == 0xFEFF) body.erase(0, 1);
  if (body.compare(0, 5, L"<?xml") == 0) {
    const size_t end = body.find(L"?>");
    if (end == std::wstring::npos) return false;
    body.erase(0, end + 2);
  }
  body.insert(body.begin(), wchar_t(0xFEFF));
  IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(body.data()),
                                      static_cast<UINT>(body.size() * sizeof(wchar_t)));
  if (!stream) return false;
  bool parsed = false;
  if (IXmlReader* reader = CreateUntrustedXmlReader(stream, kDepthMax)) {
    parsed = ReadTask(*reader, definition);
    reader->Release();
  }
  stream->Release();
  if (!parsed) definition = TaskDefinition();
  return parsed;
}

bool DecodeTaskFile(const std::string& bytes, std::wstring& xml) {
  xml.clear();
  if (bytes.size() > TaskXmlSizeMax) return false;
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    if (bytes.size() % 2) return false;
    xml.resize(bytes.size() / 2 - 1);
    for (size_t i = 0; i < xml.size(); ++i)
      xml[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i + 2]) |
                                    static_cast<unsigned char>(bytes[2 * i + 3]) << 8);
    return true;
  }
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") != 0) return false;
  xml = WideFromUtf8(bytes.substr(3));
  return true;
}

bool StartsAtLogonOrBoot(const TaskDefinition& definition) {
  for (const TaskTrigger& trigger : definition.triggers)
    if (trigger.enabled && trigger.kind != TaskTrigger::Kind::Other) return true;
  return false;
}

bool NeedsPassword(const TaskDefinition& definition) {
  return definition.logonType == L"Password" ||
         definition.logonType == L"InteractiveTokenOrPassword";
}
