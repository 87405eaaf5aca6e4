#include "command_line_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <iostream>
#include <string_view>

#include "help_layout.h"
#include "message_text.h"
#include "option_values.h"

namespace sorrelin {
namespace {

constexpr const char* kProgram = "sorrelin-convert";

constexpr const char* kDescription =
    "Convert digital waveform documents (.XMLdig) into ASCII text tables, or the other "
    "formats of --format.\n"
    "\n"
    "Each output is written beside its document, named as the document with the format's "
    "extension: run1.XMLdig becomes run1.txt, and a name that does not end in .XMLdig (in any "
    "letter case) gets the extension appended, so run1.xml becomes run1.xml.txt. An earlier "
    "output of that name is replaced only by a complete new one, and never one written by the "
    "same run. Each failure is one line on standard error, and the other documents are still "
    "converted. On a terminal, a document that takes more than a second shows its progress. "
    "Ctrl-C stops the conversion and leaves an earlier output as it was.";

constexpr const char* kFooter =
    "A PATH of - reads the document from standard input; it needs -o. After --, every "
    "argument is a PATH, even one that starts with \"-\".\n"
    "\n"
    "Exit status:\n"
    "  0  every document was converted (or skipped)\n"
    "  1  at least one document failed, or standard output could not be written\n"
    "  2  the command line is wrong (for example, no PATH given)";

// "a, b, c or d" (or "and").
std::string Listed(const std::vector<std::string>& items, std::string_view last = "or") {
  std::string list;
  for (std::size_t i = 0; i < items.size(); ++i) {
    list += (i == 0 ? "" : i + 1 == items.size() ? " " + std::string(last) + " " : ", ") + items[i];
  }
  return list;
}

// The names of the formats for which `takes` holds.
template <typename Predicate>
std::vector<std::string> FormatNames(Predicate takes) {
  std::vector<std::string> names;
  for (const FormatModule* format : AllFormats()) {
    if (takes(*format)) names.emplace_back(format->name);
  }
  return names;
}
std::vector<std::string> FormatNamesTaking(bool FormatOptions::*option) {
  return FormatNames([option](const FormatModule& format) { return format.options.*option; });
}

// The formats and what each makes, the default marked.
std::string FormatHelp() {
  std::vector<std::string> formats;
  for (const FormatModule* format : AllFormats()) {
    formats.push_back(std::string(format->name) + " (" +
                      (format == &DefaultFormat() ? "the default: " : "") +
                      std::string(format->description) + ")");
  }
  return Listed(formats);
}

// An argument quoted in `what` is shown with its control characters escaped.
int UsageError(const std::string& what) {
  std::cerr << kProgram << ": " << Escaped(what) << "\nTry '" << kProgram
            << " --help' for more information.\n";
  return 2;
}

// The command line's own rules, beyond what each option's value says.
std::string Conflict(const CommandLineOptions& options) {
  if (options.paths.empty()) return "missing PATH";
  const bool toFile = options.output.kind == OutputPlace::Kind::kFile ||
                      options.output.kind == OutputPlace::Kind::kStandardOutput;
  if (toFile && options.paths.size() != 1) return "--output takes one PATH only";
  if (toFile && options.segment == kEverySegment)
    return "--segment all writes an output per segment: use --output-dir";
  if (!toFile &&
      std::find(options.paths.begin(), options.paths.end(), "-") != options.paths.end() &&
      !options.info) {
    return "PATH - (standard input) needs --output";
  }
  const FormatModule& format = *options.format;
  if (options.output.kind == OutputPlace::Kind::kStandardOutput && !format.toStandardOutput) {
    return std::string(format.name) + " cannot go to standard output";
  }
  const std::pair<bool, bool FormatOptions::*> taken[] = {
      {options.sampleRate.has_value(), &FormatOptions::rate},
      {options.changes, &FormatOptions::changes},
      {options.vectors, &FormatOptions::vectors}};
  const char* const optionNames[] = {"--sample-rate", "--changes", "--vectors"};
  for (std::size_t i = 0; i < std::size(taken); ++i) {
    if (taken[i].first && !(format.options.*taken[i].second)) {
      return std::string(optionNames[i]) + " is for " +
             Listed(FormatNamesTaking(taken[i].second), "and") + " only";
    }
  }
  return {};
}

}  // namespace

CommandLine ReadCommandLine(std::vector<std::string> arguments) {
  CLI::App app{kDescription, kProgram};
  app.formatter(HelpLayout());
  app.footer(kFooter);
  CommandLineOptions options;
  std::string format(options.format->name);
  app.add_option("-f,--format", format, FormatHelp())
      ->type_name("FORMAT")
      ->transform([](std::string name) {
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return name;
      })
      ->check([](const std::string& name) {
        return FormatNamed(name)
                   ? std::string()
                   : "not a format: " + name + " (" +
                         Listed(FormatNames([](const FormatModule&) { return true; })) + ")";
      });
  std::string lines, samples, rate, output, folder, segment;
  auto* lineOption = app.add_option("-l,--lines", lines, "only these lines, numbered from 1: 1,3-5")
                         ->type_name("LIST");
  auto* sampleOption = app.add_option("-s,--samples", samples,
                                      "only these samples, numbered from 1; FIRST- to the end")
                           ->type_name("FIRST-LAST");
  auto* segmentOption =
      app.add_option("--segment", segment,
                     "convert segment N, counted from 1 among the segments that hold data, "
                     "instead of the first; all: each to its own output, run1.s001.csv ...")
          ->type_name("N");
  auto* rateOption = app.add_option("-r,--sample-rate", rate,
                                    "samples per second, for " +
                                        Listed(FormatNamesTaking(&FormatOptions::rate), "and") +
                                        ": 2500000, 2.5e6, 2.5M or 2.5MHz (k, M, G), from 0.001 "
                                        "to 1e15")
                         ->type_name("RATE");
  auto* outputOption = app.add_option("-o,--output", output,
                                      "the output of the one PATH goes to FILE; - is standard "
                                      "output (not for " +
                                          Listed(FormatNames([](const FormatModule& format) {
                                            return !format.toStandardOutput;
                                          })) +
                                          "), written as it is made")
                           ->type_name("FILE");
  auto* folderOption =
      app.add_option("-d,--output-dir", folder, "outputs go to DIR, under their usual names")
          ->type_name("DIR")
          ->excludes(outputOption);
  app.add_flag("--changes", options.changes,
               Listed(FormatNamesTaking(&FormatOptions::changes), "and") +
                   ": a row at the first sample, at each change of a chosen line and at the "
                   "last, instead of a row per sample")
      ->disable_flag_override();
  app.add_flag("--vectors", options.vectors,
               Listed(FormatNamesTaking(&FormatOptions::vectors), "and") +
                   ": a line of other values than 0 and 1 as one 8-bit wire, instead of 8 "
                   "wires of 1 bit (for viewers that show vectors)")
      ->disable_flag_override();
  app.add_flag("-n,--no-clobber", options.noClobber,
               "skip a document whose output exists, or comes to exist before the new one is "
               "put in place")
      ->disable_flag_override();
  app.add_flag("--sync", options.sync,
               "flush each output to the disk before it replaces the earlier one: a power cut "
               "leaves one or the other whole")
      ->disable_flag_override();
  app.add_flag("-i,--info", options.info,
               "write nothing; print each document's counts, data size and the size its output "
               "would have")
      ->disable_flag_override()
      ->excludes(outputOption);
  app.add_flag("-q,--quiet", options.quiet, "show no progress, and no line for a skipped document")
      ->disable_flag_override();
  app.set_help_flag("-h,--help", "show this help and exit");
  app.set_version_flag("-v,--version", std::string(kProgram) + " " + SORRELIN_VERSION,
                       "show the version and exit");
  app.add_option("PATH", options.paths);
  try {
    // CLI11 takes the argument after "--output=" as its value.
    for (const std::string& argument : arguments) {
      if (argument == "--") break;
      if (argument == "--output=") throw BadOptionValue("--output needs a file name");
      if (argument == "--output-dir=") throw BadOptionValue("--output-dir needs a folder name");
    }
    // CLI11 takes the arguments last first.
    std::reverse(arguments.begin(), arguments.end());
    app.parse(arguments);
    if (*lineOption) options.selection.lines = ParseLineList(lines);
    if (*sampleOption) ParseSampleRange(samples, options.selection);
    if (*rateOption) options.sampleRate = ParseSampleRate(rate);
    if (*rateOption && FormatNamed(format))
      CheckSampleRateFor(*FormatNamed(format), *options.sampleRate, rate);
    if (*segmentOption) options.segment = ParseSegment(segment);
    if (*outputOption && output.empty()) throw BadOptionValue("--output needs a file name");
    if (*folderOption && folder.empty()) throw BadOptionValue("--output-dir needs a folder name");
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return {};
  } catch (const CLI::CallForVersion& version) {
    std::cout << version.what() << '\n';  // not flushed here: main checks the flush
    return {};
  } catch (const CLI::ParseError& error) {
    return {std::nullopt, UsageError(error.what())};
  } catch (const BadOptionValue& error) {
    return {std::nullopt, UsageError(error.what())};
  }
  options.format = FormatNamed(format);
  if (*outputOption)
    options.output = {output == "-" ? OutputPlace::Kind::kStandardOutput : OutputPlace::Kind::kFile,
                      output};
  if (*folderOption) options.output = {OutputPlace::Kind::kFolder, folder};
  if (options.info) options.output = {OutputPlace::Kind::kNowhere, {}};
  if (const std::string conflict = Conflict(options); !conflict.empty()) {
    return {std::nullopt, UsageError(conflict)};
  }
  return {std::move(options), 0};
}

}  // namespace sorrelin
