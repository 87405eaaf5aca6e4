// The conversion's promises, kept whichever way a document is read: exact tables,
// counts, element selection, string values, error order, load failures, the
// encodings mapped here, entities; and every failure leaves the earlier output.
// Work whose length the document sets stays bounded and stoppable: counts of lines
// no disk can hold, data held on disk until its counts come, what --info leaves, and
// progress that covers the whole conversion.
#include "conversion_command.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <future>

#include "failure_text.h"
#include "read/base64_kernels.h"
#include "test_support.h"

#ifdef __unix__
#include <fcntl.h>
#include <unistd.h>
#endif

namespace sorrelin {
namespace {

using namespace testing;  // the shared document builder and file helpers
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The table of `bytes` in rows of `samples` values.
std::string Table(std::span<const std::uint8_t> bytes, std::size_t samples) {
  std::string table;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    table += std::to_string(bytes[i]) + (i % samples == samples - 1 ? ",\r\n" : ",");
  return table;
}

struct ConversionCase {
  const char* name;
  std::string document;
  std::string outcome;  // a final '*' ends a prefix
  bool outputIsFolder = false;
};

TEST(RunConversion, KeepsItsPromisesWhicheverWayTheDocumentIsRead) {
  const std::string worked = "table 1,0,1,\r\n0,1,1,\r\n";
  std::vector<std::uint8_t> bytes(3000);
  for (std::size_t i = 0; i < bytes.size(); ++i) {  // runs of 20 values below 10 among others
    bytes[i] = static_cast<std::uint8_t>(i / 20 % 2 ? i % 10 : i % 7 * 40);
  }
  const std::string mime = EncodeBase64(bytes);  // 76 characters and CR LF a line
  std::string badMime = mime;
  badMime[badMime.size() - 3] = '!';
  // More data than a block, a table of several.
  const std::vector<std::uint8_t> noise = RandomBytes(2 * 600'001, 42);
  const std::string truncated = DocumentXml("3", "1000", mime);
  const std::string declaration = "<?xml version=\"1.0\" encoding=\"";
  const std::string external =
      "<!DOCTYPE QelvarTamberlinedata [<!ENTITY x SYSTEM \"x.b64\"><!ENTITY d \"CQgH\">"
      "<!ENTITY % p \"<!ENTITY two '2'>\"> %p;]>";
  const std::string notFound = "error 1003: element not found: QelvarTamberlinedata/";
  const std::string noLines = notFound + "Header/IQelDigitalResult/BusInfo/NumLines";
  const std::string unread = "Error: external entity \"x.b64\" is not read at line 1, column ";
  const std::string body = Header("2", "1") + Data("AQI="), oneTwo = "table 1,\r\n2,\r\n";
  // The document of two lines of one sample with the external entity at place n of six.
  const auto entityAt = [&external](int n) {
    std::string xml = external + Root(Result("<BusInfo>^1<NumLines>2</NumLines></BusInfo>^2"
                                             "<NumSamples>1</NumSamples>^3") +
                                      "^4<Data>^5<Segment><BinaryData>^6AQI=</BinaryData>"
                                      "</Segment></Data>");
    for (char place = '1'; place <= '6'; ++place)
      xml.replace(xml.find({'^', place}), 2, place == '0' + n ? "&x;" : "");
    return xml;
  };

  TempFolder folder;
  const auto input = folder / "run.XMLdig";
  const auto output = folder / "run.txt";
  const std::vector<ConversionCase> cases = {
      // Tables
      {"worked example", DocumentXml("2", "3", "AQABAAEB"), worked},
      {"no lines: the sample count is never read", DocumentXml("0", "x", ""), "table "},
      {"empty rows", DocumentXml("3", "0", ""), "table \r\n\r\n\r\n"},
      {"negative samples, a count with sign and spaces", DocumentXml(" +2\n", "-5", ""),
       "table \r\n\r\n"},
      {"surplus data left out", DocumentXml("2", "2", "BwgJCgsM"), "table 7,8,\r\n9,10,\r\n"},
      {"data in pieces", Root(Header("2", "3") + Data("AQ\r\nAB<!-- x -->AA<![CDATA[E]]>&#66;")),
       worked},
      {"data before the counts", Root(Data("AQABAAEB") + Header("2", "3")), worked},
      {"long MIME data", DocumentXml("3", "1000", mime), "table " + Table(bytes, 1000)},
      {"rows over several write blocks", DocumentXml("2", "600001", EncodeBase64(noise, 0)),
       "table " + Table(noise, 600'001)},
      // Elements: the first match of each exact path; a value is all the text within
      {"the first of each",
       Root(Result("<BusInfo><NumLines>2</NumLines><NumLines>8</NumLines></BusInfo>"
                   "<NumSamples>1</NumSamples><NumSamples>9</NumSamples>") +
            "<Data><Segment/><Segment><X>AA</X></Segment><Segment><BinaryData>AQI=</BinaryData>"
            "</Segment><Segment><BinaryData>/w==</BinaryData></Segment></Data>"),
       "table 1,\r\n2,\r\n"},
      {"the string value",
       Root(Header("<x a='1'>t</x><!-- no --><?pi no?>&#119;<![CDATA[o!]]>", "1") + Data("")),
       "error 1007: line count is not a number: \"two!\""},
      {"another root", "<Other>" + body + "</Other>", noLines},
      {"a copy inside another element", Root("<X>" + Root(body) + "</X>"), noLines},
      {"no sample count, bad Base64",
       Root(Result("<BusInfo><NumLines>2</NumLines></BusInfo>") + Data("#")),
       notFound + "Header/IQelDigitalResult/NumSamples"},
      {"no data", Root(Header("2", "3") + "<Data><Segment/></Data>"),
       notFound + "Data/Segment/BinaryData"},
      // Encodings mapped here
      {"Windows-1252", declaration + "Windows-1252\"?>" + Root(Header("\x80\x9F", "1") + Data("")),
       "error 1007: line count is not a number: \"\xE2\x82\xAC\xC5\xB8\""},
      {"cp1252", declaration + "cp1252\"?>" + Root(body), oneTwo},
      {"an encoding not known", declaration + "Xindows-1252\"?>" + Root(""),
       "Error: unknown encoding at line 1, column 31"},
      // Entities: the document's own are expanded, no other is ever read
      {"a parameter entity", external + Root(Header("&two;", "1") + Data("AQI=")), oneTwo},
      {"an external entity that hides nothing", external + Root("<Note>&x;</Note>" + body), oneTwo},
      {"an external entity that could hide a count", entityAt(1), unread + "174"},
      {"an external entity where the other count could be", entityAt(2), unread + "206"},
      {"an external entity after the counts", entityAt(3), oneTwo},
      {"an external entity where the data could be", entityAt(4), unread + "261"},
      {"an external entity in Data", entityAt(5), unread + "267"},
      {"an external entity in the data", entityAt(6), unread + "288"},
      {"an entity of an unread DTD",
       "<!DOCTYPE QelvarTamberlinedata SYSTEM \"defs.dtd\">" + Root(Header("&n;", "1")),
       "Error: entity 'n', declared outside the document, is not read at line 1, column 121"},
      // Failures, each found late or early, in their order
      {"not well-formed after the data", truncated.substr(0, truncated.size() - 5),
       "Error: unclosed token at line 55, column 31"},
      {"not well-formed beats a bad count", DocumentXml("x", "3", "AQID") + "<",
       "Error: unclosed token at line 2, column 230"},
      {"bad Base64 beats an output that cannot be written", DocumentXml("3", "1000", badMime),
       "error 1004: invalid Base64 character '!' at offset 4051", true},
      {"output that cannot be written beats a bad count", DocumentXml("x", "3", "AQABAAEB"),
       "error 1006: cannot write \"" + Text(output) + "\": it is a folder", true},
      {"bad count beats short data", DocumentXml("1", "x", ""),
       "error 1007: sample count is not a number: \"x\""},
      {"a count on two lines, told on one",
       DocumentXml("two\nlines\xC2\x85\xC2\x9B[\xE2\x80\xA8\xE2\x80\xA9\xE0\xB8\x81", "1", ""),
       "error 1007: line count is not a number: "
       "\"two\\nlines\\u0085\\u009B[\\u2028\\u2029\xE0\xB8\x81\""},
      {"a long count cut between characters",
       DocumentXml(std::string(39, '9') + "\xC3\xA9", "1", ""),
       "error 1007: line count is not a number: \"" + std::string(39, '9') + "...\""},
      {"one line too short, its last group unpadded", DocumentXml("1", "3", "AQI"),
       "error 1008: data too short: 1 line of 3 samples need 3 bytes, the data holds 2"},
      {"counts whose product overflows", DocumentXml("4294967296", "4294967296", "AQ=="),
       "error 1008: data too short: 4294967296 lines of 4294967296 samples need more than 2^64 "
       "bytes, the data holds 1"},
      {"short data beats too little space", DocumentXml("1000000000000", "1", "AQ=="),
       "error 1008: data too short: 1000000000000 lines of 1 sample need 1000000000000 bytes, "
       "the data holds 1"},
      {"too little space for empty rows", DocumentXml("1000000000000", "0", ""),
       "error 1009: not enough free space for \"" + Text(output) +
           "\": the table needs 2000000000000 bytes, *"},
  };
  // Every Base64 kernel this processor runs, given through the environment.
  for (const Base64Kernel kernel : AvailableBase64Kernels()) {
    for (const ConversionCase& c : cases) {
      WriteFile(input, c.document);
      const std::size_t compared = c.outcome.ends_with('*') ? c.outcome.size() - 1 : c.outcome.npos;
      for (const Way way : {Way::kUsual, Way::kInPieces, Way::kPlainly}) {
        SCOPED_TRACE(std::string(c.name) + " way " + std::to_string(static_cast<int>(way)) + " " +
                     std::string(Base64KernelName(kernel)));
        fs::remove_all(output);
        c.outputIsFolder ? void(fs::create_directory(output)) : WriteFile(output, "earlier");
        ConversionEnvironment environment = EnvironmentFor(way, 7 + c.document.size() / 512);
        environment.base64Kernel = kernel;
        const std::string outcome = ConversionOutcome(input, environment);
        EXPECT_EQ(outcome.substr(0, compared), c.outcome.substr(0, compared));
        EXPECT_TRUE(c.outputIsFolder || outcome.starts_with("table ") ||
                    ReadFile(output) == "earlier");
        EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"run.XMLdig", "run.txt"}));
      }
    }
  }
}

// A stop asked for at any moment before the output is put in place discards it, however
// far the writing has gone; an output that cannot be put in place leaves nothing either,
// nor one kept from replacing a file that took its name meanwhile.
// Progress never runs backwards, even when a fault is placed by reading again.
TEST(RunConversion, StoppedOrUnplacedOutputsLeaveNothingAndProgressNeverRunsBackwards) {
  TempFolder folder;
  const std::vector<std::uint8_t> noise = RandomBytes(1'200'000, 7);  // several write blocks
  const std::string table = DocumentXml("2", "600000", EncodeBase64(noise, 0));
  std::string mime = EncodeBase64(noise);  // CR LF a line, which the parser gives as LF
  const std::size_t bad = mime.size() - 100 - (mime[mime.size() - 100] < ' ');
  mime[bad] = '*';
  const std::string badLate = DocumentXml("1", "1200000", mime);
  const auto badOffset =
      bad - static_cast<std::size_t>(std::count(mime.begin(), mime.begin() + bad, '\r'));
  const std::string kept = Root(Data(EncodeBase64(noise)) + Header("1", "1200000"));
  struct Case {
    const char* name;
    std::string document;
    int stopAtCall;  // counted from 1; from the end when negative; 0: never
    // While the table is written the output becomes a folder (1), or a file takes the
    // name of an output not there before that must not replace one (2).
    int meanwhile;
    std::string outcome;
    const FormatModule* format = FormatNamed("table");
  };
  const std::string unplaced = "error 1010: cannot replace \"" + Text(folder / "run.txt") + "\": ";
  const std::vector<Case> cases = {
      {"stopped at the second block", table, 2, 0, "cancelled"},
      {"stopped after the last block", table, -2, 0, "cancelled"},
      {"stopped right before the rename", table, -1, 0, "cancelled"},
      {"stopped before csv rows are written", table, -2, 0, "cancelled", FormatNamed("csv")},
      {"stopped while kept data is written", kept, -3, 0, "cancelled"},
      {"unplaced", table, 0, 1, unplaced},
      {"taken meanwhile", table, 0, 2, "skipped " + Text(folder / "run.txt")},
      {"a late fault placed again", badLate, 0, 0,
       "error 1004: invalid Base64 character '*' at offset " + std::to_string(badOffset)},
  };
  for (const Case& c : cases) {
    WriteFile(folder / "run.XMLdig", c.document);
    const std::string output = c.format == FormatNamed("csv") ? "run.csv" : "run.txt";
    for (const bool named : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (named ? ", named" : ""));
      for (const char* made : {"run.txt", "run.csv"}) fs::remove_all(folder / made);
      ConversionEnvironment environment;
      if (named) environment.temporaryFiles = CreateNamedTemporaryFile;
      ConversionRequest request = RequestFor(folder / "run.XMLdig", c.format);
      request.keepExisting = c.meanwhile == 2;
      FakeProgress counting;
      int calls = 0, callsOnceRead = 0;  // a csv's rows are written between the last two
      counting.onBlock = [&](std::uint64_t read) {
        // csv's rows take the second half of the progress
        callsOnceRead += read >= c.document.size() / (c.format == FormatNamed("csv") ? 2 : 1);
        return ++calls > 0;
      };
      if (c.stopAtCall < 0) {  // unstopped, the whole document converts, kept data too
        EXPECT_EQ(ConversionOutcome(request, counting, environment).substr(0, 6), "table ");
      }
      EXPECT_TRUE(c.format != FormatNamed("csv") || callsOnceRead == 3);
      if (c.meanwhile != 2) WriteFile(folder / output, "earlier");
      const int stopAt = c.stopAtCall < 0 ? calls + 1 + c.stopAtCall : c.stopAtCall;
      std::vector<std::uint64_t> reads;
      std::vector<std::string> entriesMeanwhile;
      FakeProgress progress;
      progress.onBlock = [&](std::uint64_t read) {
        reads.push_back(read);
        if (reads.size() == 2) entriesMeanwhile = folder.Entries();
        if (c.meanwhile == 1 && reads.size() == 3) {
          fs::remove(folder / output);
          fs::create_directory(folder / output);
        }
        if (c.meanwhile == 2 && reads.size() == 3) WriteFile(folder / output, "taken");
        return static_cast<int>(reads.size()) != stopAt;
      };
      const std::string outcome = ConversionOutcome(request, progress, environment);
      EXPECT_EQ(outcome.substr(0, c.outcome.size()), c.outcome);
      EXPECT_TRUE(std::is_sorted(reads.begin(), reads.end()));
      EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"run.XMLdig", output}));
      EXPECT_TRUE(c.meanwhile == 1 ||
                  ReadFile(folder / output) == (c.meanwhile == 2 ? "taken" : "earlier"));
#ifdef __linux__  // unnamed, an output under way leaves nothing even if the process is killed
      EXPECT_EQ(entriesMeanwhile.size() + (c.meanwhile == 2),
                named && c.document != kept ? 3u : 2u);
#endif
    }
  }

  // expat scans a pending token again from its start on every call: blocks of one
  // size would make that quadratic.
  std::string xml = DocumentXml("1", "2", "AQI=");
  xml.insert(xml.find("<Header>"), "<!--" + std::string(24 << 20, 'x') + "-->");
  WriteFile(folder / "doc.XMLdig", xml);
  std::vector<std::uint64_t> reads;  // bytes read at each block
  FakeProgress progress;
  progress.onBlock = [&](std::uint64_t read) { return reads.emplace_back(read) < xml.size() + 1; };
  EXPECT_EQ(ConversionOutcome(RequestFor(folder / "doc.XMLdig"), progress), "table 1,2,\r\n");
  EXPECT_EQ(reads.front(), 0u);
  EXPECT_LE(reads.size(), 9u);  // 1 + 1 + 2 + 4 + 8 + 16 MiB and the checks after, not 25 blocks
}

#ifndef _WIN32
TEST(RunConversion, NeverReplacesADocumentThroughALinkAndWritesThroughOthers) {
  TempFolder folder;
  const std::string document = DocumentXml("1", "1", "BQ==");
  for (const char* name : {"a.XMLdig", "b.XMLdig", "c.txt"}) WriteFile(folder / name, document);
  fs::create_directory(folder / "sub");
  WriteFile(folder / "sub" / "old.txt", "earlier");
  const auto mode = fs::perms::owner_read | fs::perms::owner_write;  // kept by the new table
  fs::permissions(folder / "sub" / "old.txt", mode);
  auto refused = [&](const char* name, const std::string& why) {
    return "error 1006: cannot write \"" + Text(folder / name) + "\": " + why;
  };
  const std::vector<std::array<std::string, 4>> cases = {
      // link to, link, input, outcome
      {"a.XMLdig", "a.txt", "a.XMLdig", refused("a.txt", "it is the document being converted")},
      {"b.XMLdig", "a.txt", "a.XMLdig", refused("a.txt", "it is another document being converted")},
      {"c.txt", "c.XMLdig", "c.XMLdig", refused("c.txt", "it is the document being converted")},
      // A link to a file not there yet is written through, like a link to one that is.
      {"sub/new.txt", "a.txt", "a.XMLdig", "table 5,\r\n"},
      {"sub/old.txt", "a.txt", "a.XMLdig", "table 5,\r\n"},
      {"a.txt", "a.txt", "a.XMLdig", refused("a.txt", std::strerror(ELOOP))},
  };
  for (const auto& [to, link, input, outcome] : cases) {
    fs::remove(folder / link);
    fs::create_symlink(to, folder / link);
    EXPECT_EQ(ConversionOutcome(folder / input, {}, {folder / "a.XMLdig", folder / "b.XMLdig"}),
              outcome);
    EXPECT_TRUE(fs::is_symlink(folder / link));
  }
  for (const char* name : {"a.XMLdig", "b.XMLdig", "c.txt"})
    EXPECT_EQ(ReadFile(folder / name), document);
  EXPECT_EQ(ReadFile(folder / "sub" / "new.txt") + ReadFile(folder / "sub" / "old.txt"),
            "5,\r\n5,\r\n");
  EXPECT_EQ(fs::status(folder / "sub" / "old.txt").permissions(), mode);
}
#endif

// The conversion's result, or a failure when it does not end within a minute.
ConversionResult Converted(const ConversionRequest& request, ConversionProgress& progress,
                           const ConversionEnvironment& environment = {}) {
  auto running =
      std::async(std::launch::async, [&] { return RunConversion(request, progress, environment); });
  if (running.wait_for(60s) != std::future_status::ready) std::abort();  // hung
  return running.get();
}

// Line counts no disk holds are refused, counted or stopped at once. Data before its
// counts goes to a temporary file beside the output, which is told apart from the
// output's by the folder it is made in; nothing of --info's goes beside the document;
// and progress runs from 0 to the whole, rows included.
TEST(BoundedWork, HugeCountsHeldDataInfoAndProgressStayBoundedAndInPlace) {
  TempFolder folder;
  WriteFile(folder / "big.XMLdig", DocumentXml("1000000000000000", "0", ""));
  ConversionRequest request = RequestFor(folder / "big.XMLdig");
  FakeProgress progress;
  // Beside the document: refused by the size they need at least.
  for (const FormatModule* format :
       {FormatNamed("table"), FormatNamed("csv"), FormatNamed("vcd")}) {
    request.format = format;
    const ConversionResult result = Converted(request, progress);
    const char* least = format == FormatNamed("csv")   ? "needs at least 6000000000000008 bytes"
                        : format == FormatNamed("vcd") ? "needs at least 250000000000"
                                                       : "needs 2000000000000000 bytes";
    EXPECT_NE(result.text.find(least), std::string::npos) << result.text;
  }
  // Nowhere: the exact sizes, counted; csv: "sample", ",lineN" for each line, CR LF.
  request.output.kind = OutputPlace::Kind::kNowhere;
  request.format = FormatNamed("csv");
  std::uint64_t digits = 16;  // of 10^15
  for (std::uint64_t n = 1, width = 1; n < 1000000000000000; n *= 10, ++width)
    digits += 9 * n * width;
  EXPECT_EQ(Converted(request, progress).figures.outputBytes, 6 + 5000000000000000 + digits + 2);
  request.changes = true;  // no room for a row is taken before a row comes
  EXPECT_EQ(Converted(request, progress).figures.outputBytes, 6 + 5000000000000000 + digits + 2);
  request.changes = false;
  // Written: each block of the header or the definitions asks whether to go on.
#ifdef __unix__
  const int saved = ::dup(1);
  const int null = ::open("/dev/null", O_WRONLY);
  ::dup2(null, 1);
  request.output.kind = OutputPlace::Kind::kStandardOutput;
  for (const FormatModule* format : {FormatNamed("csv"), FormatNamed("vcd")}) {
    request.format = format;
    int asked = 0;
    progress.onBlock = [&asked](std::uint64_t) { return ++asked < 50; };
    EXPECT_EQ(Converted(request, progress).kind, ConversionResult::Kind::kCancelled);
    EXPECT_LT(asked, 55);  // asked again only by the reader's next block
  }
  ::dup2(saved, 1);
  ::close(saved);
  ::close(null);
#endif
  // Data held until its counts come.
  const std::string late =
      Root(Data(EncodeBase64(RandomBytes(3'000'000, 3, 2))) + Header("2", "1500000"));
  WriteFile(folder / "run.XMLdig", late);
  fs::create_directory(folder / "out");
  struct Case {
    OutputPlace output;
    const FormatModule* format;
    bool failHolding;  // the held data's temporary file cannot be made
    std::string outcome;
  };
  const std::string out = Text(folder / "out");
  const OutputPlace toOut{OutputPlace::Kind::kFolder, out},
      nowhere{OutputPlace::Kind::kNowhere, out};
  const Case cases[] = {
      {toOut, FormatNamed("table"), false, ""},
      {toOut, FormatNamed("csv"), false, ""},
      {toOut, FormatNamed("table"), true,
       "error 1010: cannot make a temporary file in \"" + out + "\": "},
      {nowhere, FormatNamed("csv"), false, ""},
      {nowhere, FormatNamed("vcd"), false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.format->name) + (c.failHolding ? ", failing" : ""));
    std::vector<fs::path> madeIn;
    ConversionEnvironment environment;
    environment.temporaryFiles = [&](const fs::path& where) {
      madeIn.push_back(where);
      if (c.failHolding && madeIn.size() == 1) {
        errno = EROFS;
        return TemporaryFile{};
      }
      return CreateTemporaryFile(where);
    };
    request = RequestFor(folder / "run.XMLdig", c.format);
    request.output = c.output;
    std::vector<std::uint64_t> shown;
    progress.onBlock = [&shown](std::uint64_t at) { return shown.push_back(at), true; };
    const ConversionResult result = Converted(request, progress, environment);
    EXPECT_EQ(FailureText(result, "error").substr(0, c.outcome.size()), c.outcome);
    if (!c.outcome.empty()) continue;
    const bool nowhere = c.output.kind == OutputPlace::Kind::kNowhere;
    // The held data's temporary file first, beside the output or in the system's folder.
    EXPECT_EQ(madeIn.at(0), nowhere ? fs::temp_directory_path() : folder / "out");
    for (const fs::path& where : madeIn) EXPECT_NE(where, folder.path());
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    if (nowhere) continue;
    EXPECT_EQ(shown.back(), late.size());
    // Reading, writing the held data and csv's rows take a part each, and each moves on.
    const std::uint64_t parts = c.format == FormatNamed("csv") ? 3 : 2;
    for (std::uint64_t part = 1; part < parts; ++part) {
      EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [&](std::uint64_t at) {
        return at > late.size() * part / parts && at < late.size() * (part + 1) / parts;
      })) << part;
    }
  }
  EXPECT_EQ(folder.Entries(), (std::vector<std::string>{"big.XMLdig", "out", "run.XMLdig"}));
}

// Every segment, each to its own output named with its number: the bytes of that
// segment converted alone, in every format, its data before or after the counts. A bad
// or short segment, or a stop while the third of five is written, leaves no output.
TEST(Segments, EachConvertsAsAloneAndNoneIsPlacedUnlessAllAre) {
  TempFolder folder;
  std::vector<std::string> data;  // amid segments without data, comments and CDATA
  for (std::uint32_t i = 0; i < 12; ++i) {
    const std::string text = EncodeBase64(RandomBytes(15000, i, i == 4 ? 200 : 1));
    data.push_back("<Segment/><!-- c --><Segment><BinaryData>" +
                   (i == 7 ? "<![CDATA[" + text + "]]>" : text) + "</BinaryData></Segment>");
  }
  auto document = [&](std::size_t count, bool late, std::string replaced = {}, std::size_t at = 0) {
    std::string segments;
    for (std::size_t i = 0; i < count; ++i) segments += i + 1 == at ? replaced : data[i];
    const std::string header = Header("3", "5000"), all = "<Data>" + segments + "</Data>";
    WriteFile(folder / "run.XMLdig", Root(late ? all + header : header + all));
  };
  for (const bool late : {false, true}) {
    document(12, late);
    for (const FormatModule* format : AllFormats()) {
      SCOPED_TRACE(std::string(format->name) + (late ? ", late" : ""));
      ConversionRequest request = RequestFor(folder / "run.XMLdig", format);
      request.segment = kEverySegment;
      FakeProgress progress;
      ASSERT_EQ(RunConversion(request, progress).figures.segments, 12u);
      ConversionRequest alone = request;
      alone.output = {OutputPlace::Kind::kFile, Text(folder / "alone")};
      // A VCD's first line and a session's zip carry the second they were made.
      auto undated = [](std::string output) {
        return output.starts_with("$date") ? output.substr(output.find('\n')) : output;
      };
      for (alone.segment = 1; alone.segment <= 12; ++alone.segment) {
        RunConversion(alone, progress);
        const std::string each =
            undated(ReadFile(PathFromText(OutputPathOfSegment(request, alone.segment, 12))));
        if (format->name != "sr") {
          EXPECT_EQ(each, undated(ReadFile(folder / "alone"))) << alone.segment;
        }
        EXPECT_EQ(each.size(), undated(ReadFile(folder / "alone")).size());
      }
    }
  }
#ifndef _WIN32
  // An output replaced keeps its permissions; a file that has a name like it does not count.
  ConversionRequest request = RequestFor(folder / "run.XMLdig");
  request.segment = kEverySegment;
  fs::permissions(folder / "run.s01.txt", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directory(folder / "run.s2.txt");
  FakeProgress progress;
  EXPECT_EQ(RunConversion(request, progress).kind, ConversionResult::Kind::kConverted);
  EXPECT_EQ(fs::status(folder / "run.s01.txt").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  fs::remove(folder / "run.s2.txt");
#endif
  for (const fs::path& entry : fs::directory_iterator(folder.path())) fs::remove(entry);
  const std::string stopped = "cancelled";
  const std::tuple<std::string, std::size_t, std::string> faults[] = {
      {"<Segment><BinaryData>AQ$=</BinaryData></Segment>", 4,
       "error 1004: segment 4: invalid Base64 character '$' at offset 2"},
      {"<Segment><BinaryData>AQID</BinaryData></Segment>", 3,
       "error 1008: segment 3: data too short: 3 lines of 5000 samples need 15000 bytes, the data "
       "holds 3"},
      {data[2], 3, stopped}};
  for (const auto& [segment, at, outcome] : faults) {
    for (const bool late : {false, true}) {
      document(5, late, segment, at);
      ConversionRequest request = RequestFor(folder / "run.XMLdig", FormatNamed("csv"));
      request.segment = kEverySegment;
      // Stopped halfway through the third segment's data.
      const std::size_t third = ReadFile(folder / "run.XMLdig").find(data[2].substr(20));
      const std::uint64_t stopAt = outcome == stopped ? third + data[2].size() / 2 : UINT64_MAX;
      FakeProgress progress;
      progress.onBlock = [&](std::uint64_t read) { return read < stopAt; };
      EXPECT_EQ(ConversionOutcome(request, progress, EnvironmentFor(Reading{.largest = 4096})),
                outcome);
      EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run.XMLdig"});
    }
  }
  // A write that fails is found once the next segment is under way, or at the end for the
  // last, and told as its own; no output is put in place.
  if (!fs::exists("/dev/full")) return;
  document(5, false);
  ConversionRequest full = RequestFor(folder / "run.XMLdig");
  full.segment = kEverySegment;
  const std::pair<int, std::string> fulls[] = {{3, "30006"}, {5, "51836"}};  // 5's samples wider
  for (const auto& [failing, needed] : fulls) {
    ConversionEnvironment environment = EnvironmentFor(Reading{.largest = 4096});
    int made = 0;
    environment.temporaryFiles = [&made, failing](const fs::path& place) {
      if (++made != failing) return CreateTemporaryFile(place);
      return TemporaryFile{OpenFile("/dev/full", "w+b"), {}};
    };
    FakeProgress watched;
    const std::string number = std::to_string(failing);
    EXPECT_EQ(ConversionOutcome(full, watched, environment),
              "error 1009: segment " + number + ": not enough free space for \"" +
                  Text(folder / ("run.s" + number + ".txt")) + "\": the table needs " + needed +
                  " bytes");
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run.XMLdig"});
  }
}

}  // namespace
}  // namespace sorrelin
