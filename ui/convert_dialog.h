#pragma once

#include <cstdint>
#include <QDialog>
#include <QString>
#include <string>

#include "conversion_request.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace sorrelin {

class FileDialog;

// What the "Convert to" dialogs were last given; the next one starts from it.
struct ConvertChoices {
  QString lines, samples, segment, sampleRate;
  bool changes = false;
  bool vectors = false;
  bool openWhenDone = false;
};

// The dialog of one format for one document: the lines, the samples and the sample
// rate as the command line takes them, the format's own options, and the output's
// path, beside the document unless changed (Browse shows a save dialog), and the
// segment unless the document is known to have only one (`segments`, 0 when not
// known). Convert
// checks every value with the command line's parsers: a refused one is named in the
// dialog in the command line's words and the dialog stays open; else it closes
// accepted, and Request() is the conversion asked for.
class ConvertDialog : public QDialog {
 public:
  ConvertDialog(const FormatModule& format, std::string documentPath, std::uint64_t segments,
                const ConvertChoices& choices, FileDialog& files, QWidget* parent);

  const ConversionRequest& Request() const { return request_; }
  ConvertChoices Choices() const;
  void accept() override;

 private:
  QLineEdit* AddField(const QString& label, const QString& name, const QString& text,
                      const QString& hint);
  void Browse();
  // Names the refusal and puts the keyboard in the field refused.
  void Refuse(const QString& text, QLineEdit* field);

  const FormatModule& format_;
  FileDialog& files_;
  std::string suggestedOutput_;  // beside the document, by the usual rule
  ConversionRequest request_;
  QLineEdit* lines_ = nullptr;
  QLineEdit* samples_ = nullptr;
  QLineEdit* segment_ = nullptr;     // for a document of more than one
  QString hiddenSegment_;            // the choice made before, without the field
  QLineEdit* sampleRate_ = nullptr;  // for the formats that take one
  QCheckBox* changes_ = nullptr;     // likewise
  QCheckBox* vectors_ = nullptr;
  QLineEdit* output_ = nullptr;
  QCheckBox* openWhenDone_ = nullptr;
  QLabel* refusal_ = nullptr;
};

}  // namespace sorrelin
