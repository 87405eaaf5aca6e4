// Runs the sorrelin window program where it ends before its window opens, and
// shows paths in the path box.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTextBlock>
#include <QTextLayout>
#include <string>
#include <tuple>
#include <vector>

#include "path_box.h"

namespace sorrelin {
namespace {

TEST(WindowProgram, EndsAtUsageErrorsAndWithoutADisplay) {
  const std::string version = "sorrelin " SORRELIN_VERSION "\n";
  const std::string hint = "\nTry 'sorrelin --help' for more information.\n";
  const std::string noDisplay =
      "sorrelin: cannot open a display; for conversions without one, use sorrelin-convert\n";
  // The arguments, the exit status, standard output, and standard error or, for a usage
  // error (2), what its first line names.
  const std::vector<std::tuple<QStringList, int, std::string, std::string>> endings = {
      {{"--version"}, 0, version, ""},
      {{"-v"}, 0, version, ""},
      {{"a.XMLdig", "b.XMLdig"}, 2, "", "only one FILE can be given"},
      {{"--frobnicate"}, 2, "", "'frobnicate'"},
      {{"--frob\nx\u2028"}, 2, "", "'frob\\nx\\u2028'"},
#ifndef _WIN32
      {{}, 1, "", noDisplay},
      {{"run1.XMLdig"}, 1, "", noDisplay},
#endif
  };
  // As over SSH: no display; what needs none still works.
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("DISPLAY"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  for (const auto& [arguments, status, out, err] : endings) {
    SCOPED_TRACE(arguments.join(u' ').toStdString());
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(SORRELIN_WINDOW), arguments);
    ASSERT_TRUE(program.waitForFinished());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), status);
    EXPECT_EQ(program.readAllStandardOutput().toStdString(), out);
    const std::string told = program.readAllStandardError().toStdString();
    if (status != 2) {
      EXPECT_EQ(told, err);
      continue;
    }
    EXPECT_TRUE(told.starts_with("sorrelin: ") && told.ends_with(hint)) << told;
    EXPECT_EQ(told.find('\n'), told.size() - hint.size()) << told;  // one line, then the hint
    EXPECT_NE(told.find(err), std::string::npos) << told;
  }
#ifndef _WIN32
  QProcess full;  // an answer that standard output cannot take is a failure
  full.setStandardOutputFile(QStringLiteral("/dev/full"));
  full.start(QStringLiteral(SORRELIN_WINDOW), {QStringLiteral("--version")});
  ASSERT_TRUE(full.waitForFinished());
  EXPECT_EQ(full.exitCode(), 1);
  EXPECT_TRUE(full.readAllStandardError().startsWith("sorrelin: cannot write standard output"));
#endif
}

// First shown in a hidden box, as the window's FILE argument is, then in the box shown.
TEST(PathBox, ShowsThePathAsGivenInLinesEndingAtSeparatorsWithItsEndInView) {
  PathBox box;
  box.setFixedSize(217, 83);  // as in the window
  for (const QString& path :
       {QStringLiteral("/srv/lab/measurement-campaigns/2024/spring series/bench-4 (left rack)/"
                       "overnight-runs/2024-05-17_22-00/channel_A/unit-7/board 2/"
                       "acquisition_0001.XMLdig"),
        QStringLiteral(
            "C:\\Users\\measurement-team\\Acquisitions\\2024-05-17 overnight run\\"
            "bench-4\\left rack\\channel_A\\unit-7\\board 2\\acquisition_0001.XMLdig")}) {
    box.ShowPath(path);
    box.show();
    EXPECT_EQ(box.toPlainText(), path);
    const QTextLayout* layout = box.document()->firstBlock().layout();
    ASSERT_GT(layout->lineCount(), 5);  // more than the box shows
    for (int i = 0; i + 1 < layout->lineCount(); ++i) {
      const QString line = path.mid(layout->lineAt(i).textStart(), layout->lineAt(i).textLength());
      EXPECT_TRUE(line.endsWith(u'/') || line.endsWith(u'\\')) << line.toStdString();
    }
    EXPECT_EQ(box.textCursor().position(), path.size());
    EXPECT_TRUE(box.viewport()->rect().contains(box.cursorRect()));
  }
  // A name wider than the box fills the line it starts on, not the next one.
  box.ShowPath(QStringLiteral("/d/") + QString(80, u'x'));
  EXPECT_GT(box.document()->firstBlock().layout()->lineAt(0).textLength(), 3);
}

}  // namespace
}  // namespace sorrelin
