// The help's layout: descriptions wrapped at word boundaries to the
// terminal's width (80 columns where the help goes to a file or a pipe), so
// that no console breaks a word across two lines.
#pragma once

#include <CLI/CLI.hpp>
#include <cstddef>
#include <string>

namespace zel::cli {

// The text's words laid out in lines of at most `width` characters; a word
// longer than that stands alone on its line. Line ends in the text stay.
std::string WrapWords(const std::string& text, size_t width);

class CHelpLayout : public CLI::Formatter {
 public:
  // columns: the width of the terminal the help is printed on.
  explicit CHelpLayout(size_t columns);
  std::string make_option_desc(const CLI::Option* option) const override;
  std::string make_subcommand(const CLI::App* command) const override;
  std::string make_description(const CLI::App* app) const override;

 private:
  size_t DescriptionWidth() const;
  // The last column stays free: a console wraps a line that fills it.
  size_t m_nWidth;
};

}  // namespace zel::cli
