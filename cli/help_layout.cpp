#include "help_layout.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace sorrelin {
namespace {

constexpr std::size_t kWidth = 79;  // one short of 80: a full line wraps early on some terminals
constexpr std::size_t kDescriptionColumn = 25;

// The lines of `text`, those longer than `width` broken between words to fit. A line
// break in `text` stays, and the lines a line is broken into keep its leading spaces.
std::vector<std::string> Lines(std::string_view text, std::size_t width) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view source = text.substr(start, end - start);
    start = end + 1;
    if (source.size() <= width) {
      lines.emplace_back(source);
      continue;
    }
    const std::string margin(source.substr(0, source.find_first_not_of(' ')));
    lines.push_back(margin);
    std::istringstream words{std::string(source)};
    for (std::string word; words >> word;) {
      const bool started = lines.back().size() > margin.size();
      if (started && lines.back().size() + 1 + word.size() > width) {
        lines.push_back(margin);
      } else if (started) {
        lines.back() += ' ';
      }
      lines.back() += word;
    }
  }
  return lines;
}

// `lines`, each ending in a line break, those after the first indented by `indent`.
std::string Joined(const std::vector<std::string>& lines, std::size_t indent) {
  std::string text;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i != 0 && !lines[i].empty()) text.append(indent, ' ');
    text += lines[i] + '\n';
  }
  return text;
}

class Layout : public CLI::Formatter {
 public:
  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override {
    return make_usage(app, name) + make_description(app) + make_groups(app, mode) + '\n' +
           make_footer(app);
  }

  std::string make_usage(const CLI::App* app, std::string name) const override {
    std::string usage = get_label("Usage") + ": " + name + " [OPTION]... [--]";
    for (const CLI::Option* operand :
         app->get_options([](const CLI::Option* option) { return option->get_positional(); })) {
      usage += ' ' + operand->get_name(true) + (operand->get_expected_max() > 1 ? "..." : "");
    }
    return usage + '\n';
  }

  std::string make_description(const CLI::App* app) const override {
    return Joined(Lines(app->get_description(), kWidth), 0);
  }

  std::string make_footer(const CLI::App* app) const override {
    return Joined(Lines(app->get_footer(), kWidth), 0);
  }

  // "  -f, --format FORMAT" and the description from its column on, or from the next
  // line when the names reach it.
  std::string make_option(const CLI::Option* option, bool positional) const override {
    std::string names = "  " + make_option_name(option, positional);
    if (!positional && option->get_type_size() != 0) names += ' ' + option->get_type_name();
    if (names.size() < kDescriptionColumn) {
      names.resize(kDescriptionColumn, ' ');
    } else {
      names += '\n' + std::string(kDescriptionColumn, ' ');
    }
    return names + Joined(Lines(option->get_description(), kWidth - kDescriptionColumn),
                          kDescriptionColumn);
  }

  // "-f, --format"; a long name alone stands where long names stand beside short ones.
  std::string make_option_name(const CLI::Option* option, bool positional) const override {
    if (positional) return option->get_name(true);
    std::string names;
    for (const std::string& name : option->get_snames()) names += '-' + name + ", ";
    if (names.empty()) names = "    ";
    for (const std::string& name : option->get_lnames()) names += "--" + name + ", ";
    return names.substr(0, names.size() - 2);
  }
};

}  // namespace

std::shared_ptr<CLI::Formatter> HelpLayout() { return std::make_shared<Layout>(); }

}  // namespace sorrelin
