// Reads a DIALOGEX template from the program's resources, so tests can hold
// its layout against the intended one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct DialogItemTemplate {
  DWORD style = 0, exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  int id = 0;
  std::string className;  // "Button", "Edit", "Static", ... or the class name given
  std::string text;
};

struct DialogTemplate {
  DWORD style = 0, exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  int menuId = 0;
  std::string title;
  int pointSize = 0, weight = 0;
  std::string fontName;
  std::vector<DialogItemTemplate> items;
};

// False when the resource is missing or not an extended template.
bool LoadDialogTemplate(int id, DialogTemplate& dialog);

// Expects exactly these controls, in this (tab) order, each with its id, class
// (in any letter case), text, styles, position and size.
void ExpectControls(const std::vector<DialogItemTemplate>& expected, const DialogTemplate& dialog);
template <size_t N>
void ExpectControls(const DialogItemTemplate (&expected)[N], const DialogTemplate& dialog) {
  ExpectControls(std::vector<DialogItemTemplate>(expected, expected + N), dialog);
}
