#include "cli/HelpLayout.h"

#include <algorithm>
#include <sstream>

namespace zel::cli {
namespace {

constexpr size_t kNameColumn = 26;
constexpr size_t kNarrowest = 40;
constexpr size_t kWidest = 100;  // wider lines are hard to read

}  // namespace

std::string WrapWords(const std::string& text, size_t width) {
  std::string out;
  std::istringstream paragraphs(text);
  std::string paragraph;
  bool firstParagraph = true;
  while (std::getline(paragraphs, paragraph)) {
    if (!firstParagraph) out += '\n';
    firstParagraph = false;
    std::istringstream words(paragraph);
    std::string word;
    size_t used = 0;
    while (words >> word) {
      if (used > 0 && used + 1 + word.size() > width) {
        out += '\n';
        used = 0;
      } else if (used > 0) {
        out += ' ';
        ++used;
      }
      out += word;
      used += word.size();
    }
  }
  return out;
}

CHelpLayout::CHelpLayout(size_t columns) : m_nWidth(std::clamp(columns, kNarrowest, kWidest) - 1) {
  column_width(kNameColumn);
}

size_t CHelpLayout::DescriptionWidth() const { return m_nWidth - get_column_width(); }

std::string CHelpLayout::make_option_desc(const CLI::Option* option) const {
  return WrapWords(CLI::Formatter::make_option_desc(option), DescriptionWidth());
}

std::string CHelpLayout::make_subcommand(const CLI::App* command) const {
  std::stringstream out;
  CLI::detail::format_help(out, command->get_display_name(),
                           WrapWords(command->get_description(), DescriptionWidth()), get_column_width());
  return out.str();
}

std::string CHelpLayout::make_description(const CLI::App* app) const {
  const std::string description = CLI::Formatter::make_description(app);
  return description.empty() ? description : WrapWords(description, m_nWidth) + "\n";
}

}  // namespace zel::cli
