#include "framework/anchored_layout.h"

#include "framework/wnd.h"

namespace {

RECT Scaled(const RECT& rect, int dpi, int from) {
  return {MulDiv(rect.left, dpi, from), MulDiv(rect.top, dpi, from), MulDiv(rect.right, dpi, from),
          MulDiv(rect.bottom, dpi, from)};
}

}  // namespace

RECT AnchoredRect(const RECT& smallest, unsigned anchors, SIZE grown) {
  RECT rect = smallest;
  if (anchors & kAnchorMoveX) OffsetRect(&rect, grown.cx, 0);
  if (anchors & kAnchorMoveY) OffsetRect(&rect, 0, grown.cy);
  if (anchors & kAnchorGrowX) rect.right += grown.cx;
  if (anchors & kAnchorGrowY) rect.bottom += grown.cy;
  return rect;
}

void CAnchoredLayout::Add(HWND dialog, HWND control, unsigned anchors, int dpi) {
  if (!control) return;
  if (m_items.empty()) {
    RECT client, window;
    GetClientRect(dialog, &client);
    GetWindowRect(dialog, &window);
    m_client = {client.right, client.bottom};
    m_window = {window.right - window.left, window.bottom - window.top};
    m_dpi = dpi;
  }
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  m_items.push_back({control, anchors, Scaled(rect, m_dpi, dpi)});
}

void CAnchoredLayout::Arrange(HWND dialog, int dpi) const {
  // A minimized window has no client area to lay out.
  if (m_items.empty() || IsIconic(dialog)) return;
  RECT client;
  GetClientRect(dialog, &client);
  // Never less than the smallest layout.
  const SIZE grown = {client.right - MulDiv(m_client.cx, dpi, m_dpi),
                      client.bottom - MulDiv(m_client.cy, dpi, m_dpi)};
  const SIZE kept = {grown.cx > 0 ? grown.cx : 0, grown.cy > 0 ? grown.cy : 0};
  HDWP moves = BeginDeferWindowPos(static_cast<int>(m_items.size()));
  for (const Item& item : m_items) {
    const RECT rect = AnchoredRect(Scaled(item.smallest, dpi, m_dpi), item.anchors, kept);
    if (moves)
      moves =
          DeferWindowPos(moves, item.control, nullptr, rect.left, rect.top, rect.right - rect.left,
                         rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (moves) EndDeferWindowPos(moves);
  // Group boxes paint only their frame: what they left behind goes too.
  InvalidateRect(dialog, nullptr, TRUE);
}

void CAnchoredLayout::LimitTracking(MINMAXINFO* info, int dpi) const {
  if (m_items.empty()) return;
  info->ptMinTrackSize.x = MulDiv(m_window.cx, dpi, m_dpi);
  info->ptMinTrackSize.y = MulDiv(m_window.cy, dpi, m_dpi);
}
