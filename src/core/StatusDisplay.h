// What the start-up sequence asks of the status window. The window implements it; tests
// record the calls.
#pragma once

#include <string>

namespace cvl {

class IStatusDisplay {
 public:
  virtual ~IStatusDisplay() = default;

  // Sets the status text (colour and the other controls stay as they are), then lets
  // waiting window messages run so that it repaints.
  virtual void SetStatusText(const std::u16string& text) = 0;
  virtual std::u16string StatusText() const = 0;
  // Lets waiting window messages run.
  virtual void ProcessMessages() = 0;
  // Yes/No in place of the loading indicator when show is true; the text replaces the status.
  virtual void ShowPrompt(bool show, const std::u16string& message) = 0;
  // Red bold text, indicator hidden, the window closes itself 5 seconds later.
  virtual void ShowFatalMessage(const std::u16string& message) = 0;
  // Closes the window, which ends the program.
  virtual void Close() = 0;
  // Whether the window has been closed or is closing (by the player, by a message from
  // outside, by Close): from then on the sequence starts nothing new.
  virtual bool Closing() const = 0;
};

}  // namespace cvl
