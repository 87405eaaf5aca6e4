#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "conversion_command.h"
#include "conversion_error.h"

namespace sorrelin::testing {

// Base64 text of `bytes`, broken into lines of `lineWidth` characters (0: one line).
std::string EncodeBase64(std::span<const std::uint8_t> bytes, std::size_t lineWidth = 76);

// Pieces of a document: the root element, Header with IQelDigitalResult, the counts
// inside them, Data with one Segment and its BinaryData.
std::string Root(const std::string& content);
std::string Result(const std::string& content);
std::string Header(const std::string& lines, const std::string& samples);
std::string Data(const std::string& text);

// A document of the usual shape with the given element texts.
std::string DocumentXml(const std::string& numLines, const std::string& numSamples,
                        const std::string& binaryData);

// What `action` raised, as "error N: description", or "ok".
template <typename Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const ConversionError& error) {
    return "error " + std::to_string(error.Number()) + ": " + error.what();
  }
  return "ok";
}

// A fresh folder, removed with everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> Entries() const;

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& bytes);
std::string ReadFile(const std::filesystem::path& path);
std::string Text(const std::filesystem::path& path);

// A host with a fixed path text that records the messages shown and asks `onBlock`,
// when set, whether to go on at each block, with the bytes read so far.
class FakeHost : public ConversionHost {
 public:
  explicit FakeHost(std::string path) : path(std::move(path)) {}
  std::string PathText() const override { return path; }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  std::vector<std::string> OtherDocuments() const override { return others; }
  bool KeepConverting(std::uint64_t read, std::uint64_t) override {
    return !onBlock || onBlock(read);
  }
  std::string path;
  std::vector<std::string> messages, others;
  std::function<bool(std::uint64_t bytesRead)> onBlock;
};

// How a conversion for `host` (reading the document the given way) ended: "table "
// and the table's bytes, the message shown ("Error: ..."), or "error N: description".
std::string ConversionOutcome(FakeHost& host, const ConversionOptions& options = {});
// The same for the document at `input`, with `otherDocuments` converted beside it.
std::string ConversionOutcome(const std::filesystem::path& input,
                              const ConversionOptions& options = {},
                              const std::vector<std::string>& otherDocuments = {});

}  // namespace sorrelin::testing
