// The main dialog's controls without a window system: what each control
// holds, and the modal boxes recorded instead of waiting for a person.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/DialogControls.h"

namespace zel::test {

class CFakeDialogControls : public IDialogControls {
 public:
  struct CBox {
    std::string text, caption;
    bool owned;
  };

  void SetText(int id, const std::string& text) override {
    m_text[id] = text;
    m_modified[id] = false;
    ++m_setTextCalls[id];
  }
  std::string GetText(int id) const override {
    const auto it = m_text.find(id);
    return it == m_text.end() ? std::string() : it->second;
  }
  void AppendText(int id, const std::string& text) override {
    m_text[id] += text;
    m_modified[id] = false;
  }
  bool IsTextModified(int id) const override {
    const auto it = m_modified.find(id);
    return it != m_modified.end() && it->second;
  }
  void ScrollLines(int id, int lines) override { lastScroll[id] = lines; }
  void Enable(int id, bool enable) override { m_disabled[id] = !enable; }
  bool IsEnabled(int id) const override {
    const auto it = m_disabled.find(id);
    return it == m_disabled.end() || !it->second;
  }
  void SetCheck(int id, bool checked) override { m_checked[id] = checked; }
  bool GetCheck(int id) const override {
    const auto it = m_checked.find(id);
    return it != m_checked.end() && it->second;
  }
  void AddListEntry(int, const std::string& text, const std::string& note) override {
    list.insert(std::upper_bound(list.begin(), list.end(), text), text);
    listNotes[text] = note;
  }
  int ListCount(int) const override { return static_cast<int>(list.size()); }
  std::string ListEntry(int, int index) const override { return list.at(static_cast<size_t>(index)); }
  void SelectListEntry(int id, int index) override { m_text[id] = list.at(static_cast<size_t>(index)); }
  void ShowProgress(int, const CProgressModel& progress) override {
    progressUpper = progress.Upper();
    progressPos = progress.Pos();
  }
  void SetButtonIcons(int id, int hot, int rest) override { dressing.push_back({"icons", id, hot, rest}); }
  void OffsetButtonColor(int id, int index, int offset) override {
    dressing.push_back({"color", id, index, offset});
  }
  void SetButtonFlat(int id, bool flat) override { dressing.push_back({"flat", id, flat, 0}); }
  void SetButtonTooltip(int id, int stringId) override { dressing.push_back({"tooltip", id, stringId, 0}); }
  void MessageBox(const std::string& text, const std::string& caption, bool owned) override {
    boxes.push_back({text, caption, owned});
  }
  bool AskYesNo(const std::string& text, const std::string&) override {
    questions.push_back(text);
    return answerYes;
  }
  std::optional<std::string> AskOpenFile(const CFileDialogSpec& spec) override {
    lastFileDialog = spec;
    return NextAnswer();
  }
  std::optional<std::string> AskSaveFile(const CFileDialogSpec& spec) override {
    lastFileDialog = spec;
    return NextAnswer();
  }
  void RunCableWarning() override {
    ++cableWarnings;
    if (onCableWarning) onCableWarning();
  }
  void RunAbout() override { ++aboutBoxes; }
  void AppendSystemMenuEntry(int commandId, const std::string& text) override {
    systemMenu.emplace_back(commandId, text);
  }
  void EndDialog(int result) override { endResult = result; }

  // The operator types into an edit.
  void Type(int id, const std::string& text) {
    m_text[id] = text;
    m_modified[id] = true;
  }
  int SetTextCalls(int id) const {
    const auto it = m_setTextCalls.find(id);
    return it == m_setTextCalls.end() ? 0 : it->second;
  }

  struct CDressingCall {
    std::string what;
    int id, a, b;
    bool operator==(const CDressingCall&) const = default;
  };
  std::vector<CDressingCall> dressing;
  std::vector<std::string> list;
  std::map<std::string, std::string> listNotes;  // entry -> its note
  uint32_t progressUpper = 100;
  uint32_t progressPos = 0;
  std::vector<CBox> boxes;
  std::vector<std::string> questions;
  bool answerYes = true;
  std::deque<std::optional<std::string>> fileAnswers;
  std::optional<CFileDialogSpec> lastFileDialog;
  int cableWarnings = 0;
  std::function<void()> onCableWarning;
  int aboutBoxes = 0;
  std::vector<std::pair<int, std::string>> systemMenu;
  std::optional<int> endResult;
  std::map<int, int> lastScroll;

 private:
  std::optional<std::string> NextAnswer() {
    if (fileAnswers.empty()) return std::nullopt;
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
  }
  std::map<int, std::string> m_text;
  std::map<int, bool> m_modified;
  std::map<int, bool> m_disabled;
  std::map<int, bool> m_checked;
  std::map<int, int> m_setTextCalls;
};

}  // namespace zel::test
