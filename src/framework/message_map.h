// A declarative message map: a table binding command ids, control
// notifications and window messages to member functions of one window class.
//
//   static const MessageMap<CMyDlg> map = {
//       OnCommand(IDC_SAVE, &CMyDlg::OnSave),
//       OnNotify(IDC_LIST, NM_DBLCLK, &CMyDlg::OnListDblClk),
//       OnMessage(WM_PAINT, &CMyDlg::OnPaint),
//   };
//   return map.Dispatch(*this, message, wParam, lParam, result);
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <initializer_list>
#include <vector>

template <class T>
struct MessageMapEntry {
  enum class Kind { Command, Notify, Message };
  Kind kind;
  UINT code;  // command id, control id of a notification, or window message
  UINT notifyCode;
  void (T::*command)();
  void (T::*notify)(NMHDR* header, LRESULT* result);
  // Returns false to leave the message to the default dialog processing.
  bool (T::*message)(WPARAM wParam, LPARAM lParam, LRESULT* result);
};

// Menu items, accelerators and button clicks (BN_CLICKED) with this id.
template <class T>
MessageMapEntry<T> OnCommand(UINT id, void (T::*handler)()) {
  return {MessageMapEntry<T>::Kind::Command, id, 0, handler, nullptr, nullptr};
}

// WM_NOTIFY from control `id` with the notification code `code`.
template <class T>
MessageMapEntry<T> OnNotify(UINT id, UINT code, void (T::*handler)(NMHDR*, LRESULT*)) {
  return {MessageMapEntry<T>::Kind::Notify, id, code, nullptr, handler, nullptr};
}

template <class T>
MessageMapEntry<T> OnMessage(UINT message, bool (T::*handler)(WPARAM, LPARAM, LRESULT*)) {
  return {MessageMapEntry<T>::Kind::Message, message, 0, nullptr, nullptr, handler};
}

template <class T>
class MessageMap {
 public:
  MessageMap(std::initializer_list<MessageMapEntry<T>> entries) : entries_(entries) {}

  // Calls the first matching handler; false when no entry took the message.
  bool Dispatch(T& target, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) const {
    for (const MessageMapEntry<T>& entry : entries_) {
      switch (entry.kind) {
        case MessageMapEntry<T>::Kind::Command:
          // Menus and accelerators send code 0 and 1; buttons send BN_CLICKED (0).
          if (message == WM_COMMAND && LOWORD(wParam) == entry.code && HIWORD(wParam) <= 1) {
            (target.*entry.command)();
            *result = 0;
            return true;
          }
          break;
        case MessageMapEntry<T>::Kind::Notify: {
          if (message != WM_NOTIFY) break;
          NMHDR* header = reinterpret_cast<NMHDR*>(lParam);
          if (header->idFrom == entry.code && header->code == entry.notifyCode) {
            *result = 0;
            (target.*entry.notify)(header, result);
            return true;
          }
          break;
        }
        case MessageMapEntry<T>::Kind::Message:
          if (message == entry.code) return (target.*entry.message)(wParam, lParam, result);
          break;
      }
    }
    return false;
  }

 private:
  std::vector<MessageMapEntry<T>> entries_;
};
