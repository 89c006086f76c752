// The main dialog's controls, reached by id. The window-system layer maps
// each id to a real widget; the dialog's logic talks only to this
// interface, so it runs and is tested without a window system.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/ProgressModel.h"

namespace zel {

// Control ids of the main dialog.
enum ControlId : int {
#ifndef IDCANCEL  // Windows has it already, with the same value
  IDCANCEL = 2,   // Close
#endif
  IDC_IMAGE_PATH = 1000,     // read-only edit
  IDC_BROWSE = 1001,         // "..."
  IDC_PORT = 1002,           // editable drop-down list, sorted
  IDC_START = 1004,          // "Start Download" / "Cancel Download"
  IDC_LOG = 1005,            // multi-line edit
  IDC_PROGRESS = 1006,       // progress bar
  IDC_CLEAR = 1007,          // "Clear"
  IDC_TRACE = 1008,          // "Trace Enable" check box
  IDC_SAVE = 1009,           // "Save"
  IDC_DOWNLOAD_BOOT = 1010,  // hidden "Download Boot"
  IDC_HELP_BUTTON = 1011,    // "Help"
  IDC_PERCENT = 1012,        // percentage label
};

// The seven controls the dialog shows as icon buttons, in the order they
// are bound; Trace Enable is the one check box among them.
constexpr int kIconButtonIds[] = {IDC_TRACE, IDC_SAVE,  IDC_CLEAR, IDC_HELP_BUTTON,
                                  IDCANCEL,  IDC_START, IDC_BROWSE};

// The icon button's colour index for the face while hot or pressed.
constexpr int kHotBackColor = 0;

// An open or save file dialog: the platform's filter string
// ("Description|pattern|...||"), default extension and initial name.
struct CFileDialogSpec {
  std::string defaultExtension;
  std::string initialName;
  std::string filter;
  bool mustExist = true;
};

class IDialogControls {
 public:
  virtual ~IDialogControls() = default;

  // Text of an edit, a static text, a button's caption, or the edit field
  // of the port combo box.
  virtual void SetText(int id, const std::string& text) = 0;
  virtual std::string GetText(int id) const = 0;
  // Adds text at the end of an edit and brings its end into view.
  virtual void AppendText(int id, const std::string& text) = 0;
  // True when the operator has typed into the edit since the program last
  // set or appended its text.
  virtual bool IsTextModified(int id) const = 0;
  virtual void ScrollLines(int id, int lines) = 0;

  virtual void Enable(int id, bool enable) = 0;
  virtual bool IsEnabled(int id) const = 0;
  virtual void SetCheck(int id, bool checked) = 0;
  virtual bool GetCheck(int id) const = 0;

  // The port combo's list, kept sorted by the control. An entry's note is
  // shown beside it in the open list, never taken as its text.
  virtual void AddListEntry(int id, const std::string& text, const std::string& note) = 0;
  virtual int ListCount(int id) const = 0;
  virtual std::string ListEntry(int id, int index) const = 0;
  virtual void SelectListEntry(int id, int index) = 0;

  // The progress bar shows the dialog's 32-bit range and position.
  virtual void ShowProgress(int id, const CProgressModel& progress) = 0;

  // Dressing of the icon buttons.
  virtual void SetButtonIcons(int id, int hotIconId, int restIconId) = 0;
  virtual void OffsetButtonColor(int id, int colorIndex, int offset) = 0;
  virtual void SetButtonFlat(int id, bool flat) = 0;
  virtual void SetButtonTooltip(int id, int stringId) = 0;

  // Modal boxes and dialogs, run on the user-interface thread.
  virtual void MessageBox(const std::string& text, const std::string& caption, bool ownedByDialog) = 0;
  // A question with Yes and No, No the default; true for Yes.
  virtual bool AskYesNo(const std::string& text, const std::string& caption) = 0;
  virtual std::optional<std::string> AskOpenFile(const CFileDialogSpec& spec) = 0;
  virtual std::optional<std::string> AskSaveFile(const CFileDialogSpec& spec) = 0;
  virtual void RunCableWarning() = 0;
  virtual void RunAbout() = 0;
  virtual void AppendSystemMenuEntry(int commandId, const std::string& text) = 0;
  virtual void EndDialog(int result) = 0;
  // The station window, where this platform has one: its entry joins the
  // system menu, and it opens with the dialog's image.
  virtual bool HasStation() const { return false; }
  virtual void OpenStation(const std::string& /*image*/) {}
};

}  // namespace zel
