#include "app/window_layout.h"

#include <cstdint>
#include <cstring>

#include "app/lumivane_dlg.h"

namespace {

const char kPlacementValue[] = "WindowPlacement";
const char kColumnWidthsValue[] = "ColumnWidths";
const char kSortColumnValue[] = "SortColumn";
const char kSortDescendingValue[] = "SortDescending";

constexpr DWORD kScanOrder = 0xFFFFFFFF;
constexpr int32_t kWidestColumn = 10000;

// The value's bytes when it has type `type`; empty otherwise.
std::vector<BYTE> ReadValue(HKEY key, const char* name, DWORD type) {
  DWORD found = 0, size = 0;
  if (RegQueryValueExA(key, name, nullptr, &found, nullptr, &size) != ERROR_SUCCESS ||
      found != type || size == 0)
    return {};
  std::vector<BYTE> data(size);
  if (RegQueryValueExA(key, name, nullptr, &found, data.data(), &size) != ERROR_SUCCESS ||
      found != type)
    return {};
  data.resize(size);
  return data;
}

bool ReadDword(HKEY key, const char* name, DWORD& value) {
  const std::vector<BYTE> data = ReadValue(key, name, REG_DWORD);
  if (data.size() != sizeof value) return false;
  std::memcpy(&value, data.data(), sizeof value);
  return true;
}

}  // namespace

WindowLayout ReadWindowLayout(int columnCount) {
  WindowLayout layout;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, ProgramSettingsKey.c_str(), 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return layout;

  const std::vector<BYTE> placement = ReadValue(key, kPlacementValue, REG_BINARY);
  if (placement.size() == sizeof(WINDOWPLACEMENT)) {
    WINDOWPLACEMENT stored;
    std::memcpy(&stored, placement.data(), sizeof stored);
    const RECT& normal = stored.rcNormalPosition;
    if (stored.length == sizeof stored && stored.showCmd <= SW_MAX && normal.right > normal.left &&
        normal.bottom > normal.top) {
      layout.placement = stored;
      layout.hasPlacement = true;
    }
  }

  const std::vector<BYTE> widths = ReadValue(key, kColumnWidthsValue, REG_BINARY);
  if (widths.size() % sizeof(int32_t) == 0) {
    std::vector<int> read;
    for (size_t at = 0; at < widths.size() && read.size() < static_cast<size_t>(columnCount);
         at += sizeof(int32_t)) {
      int32_t width;
      std::memcpy(&width, widths.data() + at, sizeof width);
      read.push_back(width);
    }
    bool inRange = true;
    for (int width : read) inRange = inRange && width >= 0 && width <= kWidestColumn;
    if (inRange) layout.columnWidths = read;
  }

  DWORD value = 0;
  if (ReadDword(key, kSortColumnValue, value) &&
      (value == kScanOrder || value < static_cast<DWORD>(columnCount)))
    layout.sortColumn = value == kScanOrder ? -1 : static_cast<int>(value);
  if (layout.sortColumn >= 0 && ReadDword(key, kSortDescendingValue, value) && value <= 1)
    layout.sortDescending = value == 1;
  RegCloseKey(key);
  return layout;
}

bool WriteWindowLayout(const WindowLayout& layout) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, ProgramSettingsKey.c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return false;
  std::vector<int32_t> widths(layout.columnWidths.begin(), layout.columnWidths.end());
  const DWORD sortColumn =
      layout.sortColumn < 0 ? kScanOrder : static_cast<DWORD>(layout.sortColumn);
  const DWORD descending = layout.sortDescending ? 1 : 0;
  bool written = true;
  if (layout.hasPlacement)
    written = RegSetValueExA(key, kPlacementValue, 0, REG_BINARY,
                             reinterpret_cast<const BYTE*>(&layout.placement),
                             sizeof layout.placement) == ERROR_SUCCESS;
  written = RegSetValueExA(key, kColumnWidthsValue, 0, REG_BINARY,
                           reinterpret_cast<const BYTE*>(widths.data()),
                           static_cast<DWORD>(widths.size() * sizeof(int32_t))) == ERROR_SUCCESS &&
            written;
  written = RegSetValueExA(key, kSortColumnValue, 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&sortColumn),
                           sizeof sortColumn) == ERROR_SUCCESS &&
            written;
  written = RegSetValueExA(key, kSortDescendingValue, 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&descending),
                           sizeof descending) == ERROR_SUCCESS &&
            written;
  RegCloseKey(key);
  return written;
}

void RestoreWindowPlacement(HWND window, WINDOWPLACEMENT placement) {
  // The place is in workspace coordinates: the primary monitor's work area
  // begins at 0, 0.
  RECT& normal = placement.rcNormalPosition;
  MONITORINFO primary = {};
  primary.cbSize = sizeof primary;
  GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary);
  RECT onScreen = normal;
  OffsetRect(&onScreen, primary.rcWork.left - primary.rcMonitor.left,
             primary.rcWork.top - primary.rcMonitor.top);
  if (!MonitorFromRect(&onScreen, MONITOR_DEFAULTTONULL))
    OffsetRect(&normal, -normal.left, -normal.top);
  placement.flags = 0;
  placement.ptMinPosition = POINT{-1, -1};
  placement.ptMaxPosition = POINT{-1, -1};
  if (placement.showCmd != SW_SHOWMAXIMIZED) placement.showCmd = SW_SHOWNORMAL;
  SetWindowPlacement(window, &placement);
}
