#include "framework/controls.h"

#include <cstdlib>
#include <vector>

#include "framework/win_app.h"

namespace {

// A copy of `icon` whose 32-bit pixels `change` rewrites; the mask is kept.
template <typename PixelChange>
HICON CreateChangedIcon(HICON icon, PixelChange change) {
  ICONINFO parts = {};
  if (!GetIconInfo(icon, &parts)) return nullptr;
  HICON changed = nullptr;
  BITMAP size = {};
  if (parts.hbmColor && GetObjectA(parts.hbmColor, sizeof size, &size)) {
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = size.bmWidth;
    format.bmiHeader.biHeight = -size.bmHeight;  // top-down
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    void* bits = nullptr;
    HBITMAP colour = CreateDIBSection(screen, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (colour &&
        GetDIBits(screen, parts.hbmColor, 0, size.bmHeight, bits, &format, DIB_RGB_COLORS)) {
      RGBQUAD* pixel = static_cast<RGBQUAD*>(bits);
      for (int y = 0; y < size.bmHeight; ++y)
        for (int x = 0; x < size.bmWidth; ++x)
          change(x, y, size.bmWidth, pixel[y * size.bmWidth + x]);
      ICONINFO copy = {TRUE, 0, 0, parts.hbmMask, colour};
      changed = CreateIconIndirect(&copy);
    }
    if (colour) DeleteObject(colour);
    ReleaseDC(nullptr, screen);
  }
  if (parts.hbmColor) DeleteObject(parts.hbmColor);
  if (parts.hbmMask) DeleteObject(parts.hbmMask);
  return changed;
}

// Pale greys, the look of a disabled control: each pixel's luminance lifted
// half-way to white; alpha is kept.
void Grey(int, int, int, RGBQUAD& pixel) {
  const int light = (pixel.rgbRed * 30 + pixel.rgbGreen * 59 + pixel.rgbBlue * 11) / 100;
  pixel.rgbRed = pixel.rgbGreen = pixel.rgbBlue = static_cast<BYTE>(128 + light / 2);
}

// A red cross over the lower right quarter, opaque whatever was there.
void Cross(int x, int y, int size, RGBQUAD& pixel) {
  const int half = size / 2, thickness = size / 16 + 1;
  const int u = x - half, v = y - half;
  if (u < 0 || v < 0 || (std::abs(u - v) >= thickness && std::abs(u + v - half + 1) >= thickness))
    return;
  pixel = RGBQUAD{0, 0, 220, 255};
}

int AppendChanged(CImageList& images, int index, void (*change)(int, int, int, RGBQUAD&)) {
  HICON icon = ImageList_GetIcon(images.m_hImageList, index, ILD_NORMAL);
  if (!icon) return -1;
  HICON changed = CreateChangedIcon(icon, change);
  DestroyIcon(icon);
  if (!changed) return -1;
  const int added = images.Replace(-1, changed);
  DestroyIcon(changed);
  return added;
}

}  // namespace

int CImageList::AppendGreyed(int index) {
  return AppendChanged(*this, index, Grey);
}

int CImageList::AppendCrossed(int index) {
  return AppendChanged(*this, index, Cross);
}

bool CListCtrl::SetItemText(int item, int subItem, const char* text) {
  LVITEMA cell = {};
  cell.mask = LVIF_TEXT;
  cell.iItem = item;
  cell.iSubItem = subItem;
  cell.pszText = const_cast<char*>(text);
  return SetItem(&cell);
}

std::string CListCtrl::GetItemText(int item, int subItem) const {
  // The control copies at most the buffer's size less one; grow until it fits.
  std::vector<char> buffer(256);
  for (;;) {
    LVITEMA cell = {};
    cell.iSubItem = subItem;
    cell.pszText = buffer.data();
    cell.cchTextMax = static_cast<int>(buffer.size());
    int copied =
        static_cast<int>(SendMessage(LVM_GETITEMTEXTA, item, reinterpret_cast<LPARAM>(&cell)));
    // A reader that cuts on a whole character may stop up to three bytes short.
    if (copied + 4 < static_cast<int>(buffer.size())) return std::string(cell.pszText, copied);
    buffer.resize(buffer.size() * 4);
  }
}

bool CListCtrl::SetItemState(int item, UINT state, UINT mask) {
  LVITEMA change = {};
  change.state = state;
  change.stateMask = mask;
  return SendMessage(LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&change)) != 0;
}

int CListCtrl::InsertColumn(int column, const char* heading, int format, int width) {
  LVCOLUMNA header = {};
  header.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  header.fmt = format;
  header.cx = width;
  header.pszText = const_cast<char*>(heading);
  header.iSubItem = column;
  return static_cast<int>(
      SendMessage(LVM_INSERTCOLUMNA, column, reinterpret_cast<LPARAM>(&header)));
}

bool CToolTipCtrl::Create(CWnd* owner, DWORD style) {
  m_hWnd = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, style, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, CW_USEDEFAULT, owner->m_hWnd, nullptr,
                           AfxGetResourceHandle(), nullptr);
  return m_hWnd != nullptr;
}

bool CToolTipCtrl::AddTool(CWnd* owner, CWnd* tool, const char* text) {
  TOOLINFOA info = {};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND;
  info.hwnd = owner->m_hWnd;
  info.uId = reinterpret_cast<UINT_PTR>(tool->m_hWnd);
  info.lpszText = const_cast<char*>(text);
  return SendMessage(TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info)) != 0;
}

std::string CToolTipCtrl::GetText(CWnd* owner, HWND tool) const {
  char text[1024] = "";
  TOOLINFOA info = {};
  info.cbSize = sizeof info;
  info.hwnd = owner->m_hWnd;
  info.uId = reinterpret_cast<UINT_PTR>(tool);
  info.lpszText = text;
  SendMessage(TTM_GETTEXTA, sizeof text, reinterpret_cast<LPARAM>(&info));
  return text;
}
