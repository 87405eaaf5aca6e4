#include "path_box.h"

#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextLayout>
#include <cmath>
#include <utility>

namespace sorrelin {
namespace {

bool IsSeparator(QChar c) { return c == u'/' || c == u'\\'; }

// Where a line that fills the width up to `end` ends instead: after its last
// separator, unless the name that would then begin the next line is wider than a
// line anyway.
int LineEnd(const QString& text, int start, int end, const QFontMetricsF& metrics, qreal width) {
  int cut = end;
  while (cut > start && !IsSeparator(text[cut - 1])) --cut;
  if (cut == start) return end;
  int nameEnd = cut;
  while (nameEnd < text.size() && !IsSeparator(text[nameEnd])) ++nameEnd;
  if (nameEnd < text.size()) ++nameEnd;  // the name keeps its separator
  return metrics.horizontalAdvance(text.mid(cut, nameEnd - cut)) <= width ? cut : end;
}

// The box's layout: QPlainTextEdit's own, with each block's lines broken again at
// separators. The Unicode line-breaking rules it follows break a path inside names,
// after '-' or ' ', and never after '\'.
class PathLayout : public QPlainTextDocumentLayout {
 public:
  using QPlainTextDocumentLayout::QPlainTextDocumentLayout;

  QRectF blockBoundingRect(const QTextBlock& block) const override {
    if (block.isValid() && block.layout()->lineCount() == 0) {
      const_cast<PathLayout*>(this)->BreakAtSeparators(block);
    }
    return QPlainTextDocumentLayout::blockBoundingRect(block);
  }

 protected:
  void documentChanged(int from, int charsRemoved, int charsAdded) override {
    QPlainTextDocumentLayout::documentChanged(from, charsRemoved, charsAdded);
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
      BreakAtSeparators(block);
    }
    requestUpdate();  // the views painted what the base layout had
  }

 private:
  void BreakAtSeparators(QTextBlock block) {
    ensureBlockLayout(block);  // the base layout's lines tell the width and the margin
    QTextLayout* layout = block.layout();
    if (layout->lineCount() == 0) return;
    const qreal width = layout->lineAt(0).width();
    const QPointF origin = layout->lineAt(0).position();
    const QString text = block.text();
    const QFontMetricsF metrics(document()->defaultFont());
    const int linesBefore = document()->lineCount();
    qreal y = origin.y();
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
      line.setLeadingIncluded(true);
      line.setLineWidth(width);
      const int start = line.textStart();
      const int end = start + line.textLength();
      if (const int lineEnd = end < text.size() ? LineEnd(text, start, end, metrics, width) : end;
          lineEnd != end) {
        line.setNumColumns(lineEnd - start, width);
      }
      line.setPosition(QPointF(origin.x(), y));
      y += line.height();
      if (line.leading() < 0) y += std::ceil(line.leading());  // as the base layout does
    }
    layout->endLayout();
    block.setLineCount(block.isVisible() ? layout->lineCount() : 0);
    if (document()->lineCount() != linesBefore) emit documentSizeChanged(documentSize());
  }
};

}  // namespace

PathBox::PathBox(QWidget* parent) : QPlainTextEdit(parent) {
  auto* pathDocument = new QTextDocument(this);
  pathDocument->setDocumentLayout(new PathLayout(pathDocument));
  pathDocument->documentLayout()->setPaintDevice(viewport());  // as for QPlainTextEdit's own
  pathDocument->setDefaultFont(font());
  setDocument(pathDocument);
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setWordWrapMode(QTextOption::WrapAnywhere);  // fills each line before it is broken again
  setTabChangesFocus(true);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setAcceptDrops(false);
}

void PathBox::ShowPath(const QString& path) {
  setPlainText(path);
  moveCursor(QTextCursor::End);  // and scrolls there
  // A hidden box has not been laid out at its size yet: it scrolls when shown.
  showEndWhenShown_ = !isVisible();
}

void PathBox::showEvent(QShowEvent* event) {
  QPlainTextEdit::showEvent(event);
  if (std::exchange(showEndWhenShown_, false)) ensureCursorVisible();
}

void PathBox::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = createStandardContextMenu(event->pos());
  menu->setAttribute(Qt::WA_DeleteOnClose);
  if (addedMenu_) {
    menu->addSeparator();
    menu->addMenu(addedMenu_);
  }
  menu->popup(event->globalPos());
}

void PathBox::focusInEvent(QFocusEvent* event) {
  QPlainTextEdit::focusInEvent(event);
  if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason) {
    selectAll();
  }
}

void PathBox::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->ignore();
    return;
  }
  QPlainTextEdit::keyPressEvent(event);
}

void PathBox::insertFromMimeData(const QMimeData* source) {
  if (!source->hasText()) return;
  static const QRegularExpression lineBreaks(QStringLiteral("[\\r\\n\\x{2028}\\x{2029}]"));
  insertPlainText(source->text().remove(lineBreaks));
}

}  // namespace sorrelin
