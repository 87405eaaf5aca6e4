// The window's "Convert to" menu and dialogs: every way in, every format converted as
// the dialog says, refused values, kept choices, cancelling, and how outputs open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <cstdlib>
#include <regex>

#include "convert_dialog.h"
#include "output_opener.h"
#include "window_test_support.h"

namespace sorrelin {
namespace {

using namespace testing;
namespace fs = std::filesystem;

const char* const kWaysIn[] = {"right-click on Conversion", "Menu key", "Shift+F10",
                               "right-click on the picture"};

QMenu* Popup() {
  Await([] { return QApplication::activePopupWidget() != nullptr; }, 3000);
  return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

void RightClick(QWidget* widget) {
  const QPoint at(4, 4);
  QContextMenuEvent event(QContextMenuEvent::Mouse, at, widget->mapToGlobal(at));
  QApplication::sendEvent(widget, &event);
}

// Opens the menu `way`; returns the menu shown.
QMenu* OpenMenu(Window& w, std::string_view way) {
  QPushButton* conversion = w.Button("Command1");
  conversion->setFocus();
  if (way == kWaysIn[0]) RightClick(conversion);
  if (way == kWaysIn[1]) QTest::keyClick(conversion, Qt::Key_Menu);
  if (way == kWaysIn[2]) QTest::keyClick(conversion, Qt::Key_F10, Qt::ShiftModifier);
  if (way == kWaysIn[3]) RightClick(w.window->findChild<QLabel*>("Image1"));
  return Popup();
}

// Picks entry `index` of the menu opened the `way`-th way; returns the dialog it opens.
ConvertDialog* OpenDialog(Window& w, std::size_t index, std::size_t way = 0) {
  QMenu* menu = OpenMenu(w, kWaysIn[way % 4]);
  if (!menu || menu->actions().size() <= static_cast<qsizetype>(index)) return nullptr;
  menu->actions()[static_cast<qsizetype>(index)]->trigger();
  menu->close();
  ConvertDialog* dialog = nullptr;
  Await([&] { return (dialog = w.window->findChild<ConvertDialog*>()) && dialog->isVisible(); },
        3000);
  return dialog;
}

QLineEdit* Field(ConvertDialog* dialog, const char* name) {
  return dialog->findChild<QLineEdit*>(name);
}

TEST(ConvertTo, EveryWayInOpensOneEntryPerFormat) {
  Window w;
  QStringList entries;
  for (const FormatModule* format : AllFormats()) {
    entries << QString::fromUtf8(format->choice.data(), format->choice.size()) + "...";
  }
  for (const char* way : kWaysIn) {
    SCOPED_TRACE(way);
    QMenu* menu = OpenMenu(w, way);
    ASSERT_NE(menu, nullptr);
    QStringList shown;
    for (const QAction* action : menu->actions()) shown << action->text();
    EXPECT_EQ(shown, entries);
    menu->close();
    Await([] { return QApplication::activePopupWidget() == nullptr; }, 3000);
  }
  // The path box keeps its editing menu, with the same menu under it.
  RightClick(w.PathField()->viewport());
  QMenu* editing = Popup();
  ASSERT_NE(editing, nullptr);
  ASSERT_NE(editing->actions().back()->menu(), nullptr);
  EXPECT_EQ(editing->actions().back()->menu()->objectName(), "ConvertToMenu");
  editing->close();
}

// Each dialog starts from the last one's choices; refuses, in the command line's words,
// what it refuses, writing nothing; and converts as the core does with the same request.
TEST(ConvertTo, EachFormatWritesWhatItsDialogAsksAsTheCoreDoes) {
  TempFolder folder;
  const fs::path document = folder / "run1.XMLdig";
  std::vector<std::uint8_t> values = RandomBytes(4 * 40, 5, 1);
  values[3 * 40 + 7] = 200;  // line 4 is a line of bytes
  WriteFile(document, DocumentXml("4", "40", EncodeBase64(values)));
  Window w;
  w.window->SetPathText(QString::fromStdString(Text(document)));
  const struct {
    const char* field;
    QString value, refusal;
  } refused[] = {
      {"Lines", "0", "a line must be a number from 1: \"0\""},
      {"Samples", "5", "samples are chosen as FIRST-LAST or FIRST-: \"5\""},
      {"Segment", "0", "a segment must be a number from 1: \"0\""},
      {"Sample rate", "fast",
       "a sample rate is a number of samples per second, such as 2.5MHz: \"fast\""},
      {"Output", "", "the output needs a file name"},
  };
  std::size_t index = 0;
  for (const FormatModule* format : AllFormats()) {
    SCOPED_TRACE(std::string(format->name));
    ConvertDialog* dialog = OpenDialog(w, index, index);
    ASSERT_NE(dialog, nullptr);
    const fs::path beside = folder / ("run1" + std::string(format->extension));
    EXPECT_EQ(Field(dialog, "Output")->text().toStdString(), Text(beside));
    EXPECT_EQ(Field(dialog, "Sample rate") != nullptr, format->options.rate);
    // Once converted, the document is known to have one segment: no field for it.
    EXPECT_EQ(Field(dialog, "Segment") != nullptr, index == 0);
    EXPECT_EQ(Field(dialog, "Lines")->text(), index++ == 0 ? "" : "2-4");
    EXPECT_EQ(dialog->findChild<QCheckBox*>("Open when done")->isChecked(), false);
    for (const auto& c : refused) {
      QLineEdit* field = Field(dialog, c.field);
      if (!field) continue;
      const QString before = field->text();
      field->setText(c.value);
      dialog->findChild<QPushButton*>("Convert")->click();
      EXPECT_TRUE(dialog->isVisible());
      EXPECT_EQ(dialog->findChild<QLabel*>("Refusal")->text(), c.refusal);
      EXPECT_EQ(dialog->focusWidget(), field);
      field->setText(before);
    }
    EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run1.XMLdig"});
    Field(dialog, "Lines")->setText("2-4");
    Field(dialog, "Samples")->setText("3-38");
    if (format->options.rate) Field(dialog, "Sample rate")->setText("2.5MHz");
    for (const char* option : {"Changes", "Vectors"}) {
      if (auto* box = dialog->findChild<QCheckBox*>(option)) box->setChecked(true);
    }
    fs::path made = beside;
    if (format->name == "csv") {  // saved elsewhere, through the save dialog
      w.files->saveAs = QString::fromStdString(Text(made = folder / "chosen.csv"));
      dialog->findChild<QPushButton*>("Browse")->click();
      EXPECT_EQ(Field(dialog, "Output")->text().toStdString(), Text(made));
    }
    QTest::keyClick(Field(dialog, "Samples"), Qt::Key_Return);  // Enter converts
    Await([&] { return w.window->findChild<ConvertDialog*>() == nullptr; }, 3000);
    Await([&] { return w.window->isEnabled(); }, 15000);
    EXPECT_TRUE(w.messages.isEmpty()) << w.messages.join('\n').toStdString();

    ConversionRequest request =
        RequestFor(document, format, {{{2, 4}}, 3, 38},
                   format->options.rate ? std::optional(2.5e6) : std::nullopt);
    request.changes = format->options.changes;
    request.vectors = format->options.vectors;
    request.output = {OutputPlace::Kind::kFile, Text(folder / "core.out")};
    FakeProgress progress;
    ASSERT_EQ(RunConversion(request, progress).kind, ConversionResult::Kind::kConverted);
    if (format->name == "sr") {  // a zip records when it was made: compared as sigrok reads it
      const auto samples = [&](const fs::path& session) {
        const fs::path seen = folder / "seen";
        EXPECT_EQ(std::system(
                      ("sigrok-cli -i \"" + Text(session) + "\" -O binary > \"" + Text(seen) + "\"")
                          .c_str()),
                  0);
        return ReadFile(seen);
      };
      EXPECT_EQ(samples(made), samples(folder / "core.out"));
      EXPECT_EQ(samples(made).size(), 36u * 2);  // 1 + 8 channels, 2 bytes a sample
    } else {
      const std::regex date("\\$date [^$]*\\$end");  // a dump says when it was made
      EXPECT_EQ(std::regex_replace(ReadFile(made), date, ""),
                std::regex_replace(ReadFile(folder / "core.out"), date, ""));
    }
    fs::remove(made);
    fs::remove(folder / "core.out");
  }
}

// Escape cancels the dialog's conversion as Conversion's; Open when done is kept.
TEST(ConvertTo, EscapeCancelsTheDialogsConversionLeavingNothing) {
  TempFolder folder;
  ConversionEnvironment silent;
  silent.openDocument = [](std::string_view) {
    return OpenedDocument{std::make_unique<SilentSource>(), {}};
  };
  Window w(silent);
  w.window->SetPathText(QString::fromStdString(Text(folder / "run1.XMLdig")));
  ConvertDialog* dialog = OpenDialog(w, 2);  // vcd
  ASSERT_NE(dialog, nullptr);
  dialog->findChild<QCheckBox*>("Open when done")->setChecked(true);
  dialog->findChild<QPushButton*>("Convert")->click();
  Await([&] { return !w.window->isEnabled(); }, 3000);
  ASSERT_FALSE(w.window->isEnabled());
  QTest::keyClick(w.window.get(), Qt::Key_Escape);
  Await([&] { return w.window->isEnabled(); }, 5000);
  EXPECT_TRUE(w.window->isEnabled() && w.messages.isEmpty());
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{});
  ASSERT_NE(dialog = OpenDialog(w, 1), nullptr);
  EXPECT_TRUE(dialog->findChild<QCheckBox*>("Open when done")->isChecked());
  dialog->reject();
}

TEST(ConvertTo, ASessionOpensInPulseViewAndOtherOutputsWithTheDesktopsProgram) {
#ifdef __linux__  // scripts/setup installs PulseView
  const OpenCommand session = OpenCommandFor(*FormatNamed("sr"), "run1.sr");
  EXPECT_TRUE(session.program.endsWith("/pulseview"));
  EXPECT_EQ(session.arguments, (QStringList{"-i", "run1.sr"}));
#endif
  EXPECT_EQ(OpenCommandFor(*FormatNamed("csv"), "run1.csv").program, "");
}

}  // namespace
}  // namespace sorrelin
