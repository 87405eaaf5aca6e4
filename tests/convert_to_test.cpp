// The window's "Convert to" menu and dialogs: every way in, every format converted as
// the dialog says, refused values, cancelling, and how an output is opened.
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
  Await([] { return QApplication::activePopupWidget() != nullptr; }, 3000);
  return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

// Picks entry `index` of the menu opened `way`; returns the dialog it opens.
ConvertDialog* OpenDialog(Window& w, std::size_t index, std::string_view way = kWaysIn[0]) {
  QMenu* menu = OpenMenu(w, way);
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
  Await([] { return QApplication::activePopupWidget() != nullptr; }, 3000);
  auto* editing = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(editing, nullptr);
  ASSERT_NE(editing->actions().back()->menu(), nullptr);
  EXPECT_EQ(editing->actions().back()->menu()->objectName(), "ConvertToMenu");
  editing->close();
}

TEST(ConvertTo, EachFormatWritesWhatItsDialogAsksAsTheCoreDoes) {
  TempFolder folder;
  const fs::path document = folder / "run1.XMLdig";
  std::vector<std::uint8_t> values = RandomBytes(4 * 40, 5, 1);
  values[3 * 40 + 7] = 200;  // line 4 is a line of bytes
  WriteFile(document, DocumentXml("4", "40", EncodeBase64(values)));
  Window w;
  w.window->SetPathText(QString::fromStdString(Text(document)));
  const bool sigrok = std::system("sigrok-cli --version > /dev/null 2>&1") == 0;
  std::size_t index = 0;
  for (const FormatModule* format : AllFormats()) {
    SCOPED_TRACE(std::string(format->name));
    ConvertDialog* dialog = OpenDialog(w, index++, kWaysIn[index % 4]);
    ASSERT_NE(dialog, nullptr);
    const fs::path beside = folder / ("run1" + std::string(format->extension));
    EXPECT_EQ(Field(dialog, "Output")->text().toStdString(), Text(beside));
    EXPECT_EQ(Field(dialog, "Sample rate") != nullptr, format->options.rate);
    Field(dialog, "Lines")->setText("2-4");
    Field(dialog, "Samples")->setText("3-38");
    if (format->options.rate) Field(dialog, "Sample rate")->setText("2.5MHz");
    for (const char* option : {"Changes", "Vectors"}) {
      if (auto* box = dialog->findChild<QCheckBox*>(option)) box->setChecked(true);
    }
    fs::path made = beside;
    if (format->name == "csv") {  // saved elsewhere, through the save dialog
      made = folder / "chosen.csv";
      w.files->saveAs = QString::fromStdString(Text(made));
      dialog->findChild<QPushButton*>("Browse")->click();
      EXPECT_EQ(Field(dialog, "Output")->text().toStdString(), Text(made));
    }
    QTest::keyClick(Field(dialog, "Samples"), Qt::Key_Return);  // Enter converts
    Await([&] { return w.window->findChild<ConvertDialog*>() == nullptr; }, 3000);
    Await([&] { return w.window->isEnabled(); }, 15000);
    EXPECT_TRUE(w.messages.isEmpty()) << w.messages.join('\n').toStdString();

    ConversionRequest request = RequestFor(document, format, {{{2, 4}}, 3, 38},
                                           format->options.rate ? std::optional(2.5e6) : std::nullopt);
    request.changes = format->options.changes;
    request.vectors = format->options.vectors;
    request.output = {OutputPlace::Kind::kFile, Text(folder / "core.out")};
    FakeProgress progress;
    ASSERT_EQ(RunConversion(request, progress).kind, ConversionResult::Kind::kConverted);
    if (format->name == "sr") {  // a zip records when it was made: compared as sigrok reads it
      if (!sigrok) continue;
      const auto samples = [&](const fs::path& session) {
        const fs::path seen = folder / "seen";
        EXPECT_EQ(std::system(("sigrok-cli -i \"" + Text(session) + "\" -O binary > \"" +
                               Text(seen) + "\"").c_str()), 0);
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
  }
}

TEST(ConvertTo, RefusedValuesAreNamedInTheCommandLinesWordsAndWriteNothing) {
  TempFolder folder;
  WriteFile(folder / "run1.XMLdig", DocumentXml("2", "3", "AQABAAEB"));
  Window w;
  w.window->SetPathText(QString::fromStdString(Text(folder / "run1.XMLdig")));
  ConvertDialog* dialog = OpenDialog(w, 1);  // csv
  ASSERT_NE(dialog, nullptr);
  const struct {
    const char* field;
    QString value;
    QString refusal;
  } cases[] = {
      {"Lines", "0", "a line must be a number from 1: \"0\""},
      {"Lines", "3-1", "a range of lines runs backwards: \"3-1\""},
      {"Samples", "5", "samples are chosen as FIRST-LAST or FIRST-: \"5\""},
      {"Sample rate", "fast", "a sample rate is a number of samples per second, such as 2.5MHz: \"fast\""},
      {"Output", "", "the output needs a file name"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    QLineEdit* field = Field(dialog, c.field);
    const QString before = field->text();
    field->setText(c.value);
    dialog->findChild<QPushButton*>("Convert")->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->findChild<QLabel*>("Refusal")->text(), c.refusal);
    EXPECT_EQ(QApplication::focusWidget(), field);
    field->setText(before);
  }
  Field(dialog, "Lines")->setText("2");
  dialog->findChild<QCheckBox*>("Open when done")->setChecked(true);
  QTest::keyClick(dialog, Qt::Key_Escape);  // closes, converting nothing
  Await([&] { return w.window->findChild<ConvertDialog*>() == nullptr; }, 3000);
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run1.XMLdig"});
  EXPECT_TRUE(w.window->isEnabled());
  // The next dialog, of another format, starts from the choices made last.
  dialog = OpenDialog(w, 2);
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(Field(dialog, "Lines")->text(), "2");
  EXPECT_TRUE(dialog->findChild<QCheckBox*>("Open when done")->isChecked());
  EXPECT_EQ(Field(dialog, "Output")->text().toStdString(), Text(folder / "run1.vcd"));
  dialog->reject();
}

TEST(ConvertTo, EscapeCancelsTheDialogsConversionLeavingNothing) {
  TempFolder folder;
  WriteFile(folder / "run1.XMLdig", "");
  ConversionEnvironment environment;
  environment.openDocument = [](std::string_view) {
    return OpenedDocument{std::make_unique<SilentSource>(), {}};
  };
  Window w(environment);
  w.window->SetPathText(QString::fromStdString(Text(folder / "run1.XMLdig")));
  ConvertDialog* dialog = OpenDialog(w, 2);  // vcd
  ASSERT_NE(dialog, nullptr);
  dialog->findChild<QPushButton*>("Convert")->click();
  Await([&] { return !w.window->isEnabled(); }, 3000);
  ASSERT_FALSE(w.window->isEnabled());
  QTest::keyClick(w.window.get(), Qt::Key_Escape);
  Await([&] { return w.window->isEnabled(); }, 5000);
  EXPECT_TRUE(w.window->isEnabled());
  EXPECT_EQ(w.window->windowTitle(), "Sorrelin");
  EXPECT_TRUE(w.messages.isEmpty());
  EXPECT_EQ(folder.Entries(), std::vector<std::string>{"run1.XMLdig"});
}

TEST(ConvertTo, ASessionOpensInPulseViewAndOtherOutputsWithTheDesktopsProgram) {
  const QString path = "/acq/run1.sr";
  const OpenCommand session = OpenCommandFor(*FormatNamed("sr"), path);
#ifdef __linux__  // scripts/setup installs PulseView
  EXPECT_TRUE(session.program.endsWith("pulseview"));
  EXPECT_EQ(session.arguments, (QStringList{"-i", path}));
#endif
  for (const FormatModule* format : AllFormats()) {
    if (format->name != "sr") EXPECT_EQ(OpenCommandFor(*format, path).program, "");
  }
}

}  // namespace
}  // namespace sorrelin
