#include "convert_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <utility>

#include "conversion_error.h"
#include "file_selection.h"
#include "option_values.h"

namespace sorrelin {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A check box with its accessible name.
QCheckBox* CheckBox(const QString& caption, const QString& name, bool checked, QWidget* parent) {
  auto* box = new QCheckBox(caption, parent);
  box->setObjectName(name);
  box->setAccessibleName(name);
  box->setChecked(checked);
  return box;
}

}  // namespace

ConvertDialog::ConvertDialog(const FormatModule& format, std::string documentPath,
                             std::uint64_t segments, const ConvertChoices& choices,
                             FileDialog& files, QWidget* parent)
    : QDialog(parent), format_(format), files_(files) {
  setObjectName(QStringLiteral("ConvertTo"));
  setWindowTitle(QStringLiteral("Convert to ") + Text(format.choice));
  request_.pathText = std::move(documentPath);
  request_.format = &format;
  try {
    suggestedOutput_ = OutputPathOf(request_);
  } catch (const ConversionError&) {  // no document named: the user names the output
  }

  auto* form = new QFormLayout(this);
  auto* document = new QLabel(Text(request_.pathText), this);
  document->setObjectName(QStringLiteral("Document"));
  document->setTextInteractionFlags(Qt::TextSelectableByMouse);
  document->setWordWrap(true);
  form->addRow(QStringLiteral("Document:"), document);
  lines_ = AddField(QStringLiteral("&Lines:"), QStringLiteral("Lines"), choices.lines,
                    QStringLiteral("all, or such as 1,3-5"));
  samples_ = AddField(QStringLiteral("&Samples:"), QStringLiteral("Samples"), choices.samples,
                      QStringLiteral("all, or FIRST-LAST or FIRST-"));
  hiddenSegment_ = choices.segment;  // kept for the next document while the field is away
  if (segments != 1) {
    segment_ =
        AddField(QStringLiteral("Se&gment:"), QStringLiteral("Segment"), choices.segment,
                 segments > 1 ? QStringLiteral("the first of %1, a number, or all").arg(segments)
                              : QStringLiteral("the first, a number, or all"));
  }
  if (format.options.rate) {
    sampleRate_ = AddField(QStringLiteral("Sample &rate:"), QStringLiteral("Sample rate"),
                           choices.sampleRate, QStringLiteral("unknown, or such as 2.5MHz"));
  }
  if (format.options.changes) {
    changes_ = CheckBox(QStringLiteral("Rows only where a line &changes"),
                        QStringLiteral("Changes"), choices.changes, this);
    form->addRow(QString(), changes_);
  }
  if (format.options.vectors) {
    vectors_ = CheckBox(QStringLiteral("Lines of other values than 0 and 1 as 8-bit &vectors"),
                        QStringLiteral("Vectors"), choices.vectors, this);
    form->addRow(QString(), vectors_);
  }
  auto* outputRow = new QHBoxLayout;
  output_ = new QLineEdit(Text(suggestedOutput_), this);
  output_->setObjectName(QStringLiteral("Output"));
  output_->setAccessibleName(QStringLiteral("Output"));
  output_->setMinimumWidth(320);
  auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
  browse->setObjectName(QStringLiteral("Browse"));
  browse->setAutoDefault(false);  // Enter converts
  outputRow->addWidget(output_);
  outputRow->addWidget(browse);
  auto* outputLabel = new QLabel(QStringLiteral("&Output:"), this);
  outputLabel->setBuddy(output_);
  form->addRow(outputLabel, outputRow);
  openWhenDone_ = CheckBox(QStringLiteral("O&pen when done"), QStringLiteral("Open when done"),
                           choices.openWhenDone, this);
  form->addRow(QString(), openWhenDone_);
  refusal_ = new QLabel(this);
  refusal_->setObjectName(QStringLiteral("Refusal"));
  refusal_->setWordWrap(true);
  refusal_->setStyleSheet(QStringLiteral("color: #b00000"));
  refusal_->hide();
  form->addRow(refusal_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  QPushButton* convert =
      buttons->addButton(QStringLiteral("Convert"), QDialogButtonBox::AcceptRole);
  convert->setObjectName(QStringLiteral("Convert"));
  convert->setDefault(true);
  form->addRow(buttons);

  connect(browse, &QPushButton::clicked, this, &ConvertDialog::Browse);
  connect(buttons, &QDialogButtonBox::accepted, this, &ConvertDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ConvertDialog::reject);
  lines_->setFocus();
}

QLineEdit* ConvertDialog::AddField(const QString& label, const QString& name, const QString& text,
                                   const QString& hint) {
  auto* field = new QLineEdit(text, this);
  field->setObjectName(name);
  field->setAccessibleName(name);
  field->setPlaceholderText(hint);
  auto* caption = new QLabel(label, this);
  caption->setBuddy(field);
  static_cast<QFormLayout*>(layout())->addRow(caption, field);
  return field;
}

ConvertChoices ConvertDialog::Choices() const {
  ConvertChoices choices;
  choices.lines = lines_->text();
  choices.samples = samples_->text();
  choices.segment = segment_ ? segment_->text() : hiddenSegment_;
  if (sampleRate_) choices.sampleRate = sampleRate_->text();
  if (changes_) choices.changes = changes_->isChecked();
  if (vectors_) choices.vectors = vectors_->isChecked();
  choices.openWhenDone = openWhenDone_->isChecked();
  return choices;
}

void ConvertDialog::accept() {
  ConversionRequest request = request_;
  QLineEdit* field = lines_;
  try {
    const std::string lines = lines_->text().trimmed().toStdString();
    if (!lines.empty()) request.selection.lines = ParseLineList(lines);
    field = samples_;
    const std::string samples = samples_->text().trimmed().toStdString();
    if (!samples.empty()) ParseSampleRange(samples, request.selection);
    field = segment_;
    const std::string segment = segment_ ? segment_->text().trimmed().toStdString() : "";
    if (!segment.empty()) request.segment = ParseSegment(segment);
    field = sampleRate_;
    const std::string rate = sampleRate_ ? sampleRate_->text().trimmed().toStdString() : "";
    if (!rate.empty()) request.sampleRate = ParseSampleRate(rate);
    if (!rate.empty()) CheckSampleRateFor(*request.format, *request.sampleRate, rate);
  } catch (const BadOptionValue& error) {
    return Refuse(QString::fromUtf8(error.what()), field);
  }
  const std::string output = output_->text().toStdString();
  if (output.empty()) return Refuse(QStringLiteral("the output needs a file name"), output_);
  if (request.segment == kEverySegment && output != suggestedOutput_) {
    return Refuse(QStringLiteral("with all, each segment's output goes beside the document, "
                                 "named with its number"),
                  output_);
  }
  // The usual place keeps the usual rules; another is a file named as with --output.
  request.output =
      output == suggestedOutput_ ? OutputPlace{} : OutputPlace{OutputPlace::Kind::kFile, output};
  request.changes = changes_ && changes_->isChecked();
  request.vectors = vectors_ && vectors_->isChecked();
  request_ = std::move(request);
  QDialog::accept();
}

void ConvertDialog::Browse() {
  const QString filter =
      Text(format_.choice) + QStringLiteral(" (*") + Text(format_.extension) + QStringLiteral(")");
  const QString chosen =
      files_.ShowSave(QStringLiteral("Save the output as"), output_->text(), filter);
  if (!chosen.isEmpty()) output_->setText(chosen);
}

void ConvertDialog::Refuse(const QString& text, QLineEdit* field) {
  refusal_->setText(text);
  refusal_->show();
  field->setFocus();
  field->selectAll();
}

}  // namespace sorrelin
