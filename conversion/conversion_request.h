#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "data_sink.h"
#include "formats/data_plan.h"
#include "formats/format_list.h"
#include "output/output_file_rules.h"
#include "platform/files.h"

namespace sorrelin {

// Where an output goes.
struct OutputPlace {
  enum class Kind {
    kBesideDocument,  // the document's name with the format's extension
    kFile,            // `path`
    kFolder,          // in the folder `path`, under the name it would have beside the document
    kStandardOutput,  // written as it is made; it cannot be put in place whole
    kNowhere,         // nothing is written: only the output's size is learnt
  };
  Kind kind = Kind::kBesideDocument;
  std::string path;
};

// One conversion: which document, and what is made of it where.
struct ConversionRequest {
  std::string pathText;  // UTF-8, used exactly as given
  const FormatModule* format = &DefaultFormat();
  Selection selection;
  std::optional<double> sampleRate;  // samples per second
  bool changes = false;              // the format's options, where it has them
  bool vectors = false;
  // The segment converted, counted from 1 among those that have a BinaryData, or
  // kEverySegment: each to its own output (OutputPathOfSegment).
  std::uint64_t segment = 1;
  OutputPlace output;
  // The other documents of the same run: like the document converted, no output may
  // replace them.
  std::span<const FileIdentity> otherDocuments;
  // The outputs the run has written so far: no output may replace them either.
  std::span<const WrittenOutput> writtenOutputs;
  // A file that takes the output's name before the output is put in place is kept,
  // and the conversion ends as skipped.
  bool keepExisting = false;
  // The output is flushed to the disk before it replaces an earlier one, and its
  // folder after: a power cut then leaves the earlier output or the whole new one.
  bool sync = false;
};

// The path of the request's output file, as OutputPlace says; raises ConversionError
// (kInvalidOutputPath) when none can be made. Empty for standard output and nowhere.
std::string OutputPathOf(const ConversionRequest& request);

// The path of the output of segment `number` of `count`: the request's, with ".s" and
// the number, zero-padded to the width of the count, before the format's extension.
std::string OutputPathOfSegment(const ConversionRequest& request, std::uint64_t number,
                                std::uint64_t count);

// The rules of the request's output; `document` is the document's file.
OutputFileRules OutputFileRulesOf(const ConversionRequest& request,
                                  std::optional<FileIdentity> document);

// Where values kept while converting go: beside the output file, or in the system's
// temporary folder when there is none (standard output, nowhere).
std::filesystem::path ScratchFolderOf(const ConversionRequest& request);

}  // namespace sorrelin
