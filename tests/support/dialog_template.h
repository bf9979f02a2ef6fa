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
