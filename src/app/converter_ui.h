// ConverterUi: everything the user sees or answers while a conversion runs. The desktop window,
// the console front end and the tests each implement it.
#pragma once

#include <string>
#include <vector>

namespace pamirune {

class TBitmap;
class OrderDialogModel;
struct FormatDialogModel;
struct PickerResult;

class ConverterUi {
 public:
  virtual ~ConverterUi() = default;

  // Information box with an OK button.
  virtual void ShowInfo(const std::string& text) = 0;
  // OK/Cancel confirmation; true only for OK.
  virtual bool Confirm(const std::string& text) = 0;
  // The same for a question whose OK may cost a file: Cancel is the default answer.
  virtual bool ConfirmRisky(const std::string& text) { return Confirm(text); }
  // The user-interface error handler: shows an error that ended a batch.
  virtual void ShowError(const std::string& text) = 0;
  // An error or a warning about one file: the text, and the file on the next line.
  virtual void ShowFileError(const std::string& file, const std::string& text) {
    ShowError(text + "\n" + file);
  }
  virtual void ShowFileWarning(const std::string& file, const std::string& text) {
    ShowInfo(text + "\n" + file);
  }
  // The batch is about to read file number index (from 0) of count.
  virtual void FileStarting(const std::string& file, int index, int count) {}
  // Makes the program's top-level window topmost or not, without moving it.
  virtual void SetTopmost(bool topmost) = 0;

  // Status bar panel 0.
  virtual void SetStatusText(const std::string& text) = 0;
  virtual std::string StatusText() const = 0;

  // Progress bar.
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetProgressPosition(int position) = 0;
  virtual void SetProgressMax(int maximum) = 0;
  virtual void StepProgress() = 0;

  // Drop-zone caption, and an immediate repaint of the window.
  virtual void SetDropCaption(const std::string& text) = 0;
  virtual void Repaint() = 0;

  // The format dialog, shown modally over the model (copied in and back by the caller).
  virtual void ShowFormatDialog(FormatDialogModel& model) = 0;
  // The output-order dialog, shown modally; the rows it holds when closed are taken.
  virtual void ShowOrderDialog(OrderDialogModel& model) = 0;
  // The transparent-colour picker, shown modally with the image at natural size.
  virtual void ShowTransparentPicker(const TBitmap& image, PickerResult& result) = 0;
};

}  // namespace pamirune
