// Dialog templates: each control's id, kind, caption, style and rectangle
// in dialog units, in template order (which is also the tab order).
#pragma once

#include <span>

namespace zel {

enum class ControlKind {
  PushButton,
  DefaultPushButton,
  GroupBox,
  Edit,
  ReadOnlyEdit,
  MultiLineEdit,
  Static,
  CentredStatic,
  ComboBox,
  ProgressBar,
  CheckBox,
  Picture
};

struct CControlTemplate {
  int id;  // -1 for controls without one
  ControlKind kind;
  const char* caption;
  int x, y, width, height;  // dialog units
  bool tabStop;
  bool visible;
};

struct CDialogTemplate {
  const char* title;
  int width, height;  // dialog units
  std::span<const CControlTemplate> controls;
};

extern const CDialogTemplate kMainDialogTemplate;    // 102
extern const CDialogTemplate kCableWarningTemplate;  // 135
extern const CDialogTemplate kAboutTemplate;         // 100

constexpr int kCableWarningTextId = 1013;
#ifndef IDOK  // Windows has it already, with the same value
constexpr int IDOK = 1;
#endif

}  // namespace zel
