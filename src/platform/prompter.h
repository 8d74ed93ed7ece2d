// The questions the core asks people: yes/no, file choices, a line of text, a message.
// Each front end implements it; a front end without a person answers No / cancel.
#pragma once

#include <optional>
#include <string>

namespace tavex {

class Prompter {
 public:
  virtual ~Prompter() = default;
  // A Yes/No confirmation; true only for Yes.
  virtual bool AskYesNo(const std::string& question) = 0;
  // A file to open; no value when cancelled.
  virtual std::optional<std::string> ChooseOpenFile(const std::string& title,
                                                    const std::string& initial_path) = 0;
  // A file to save to, preset to `initial_path`; no value when cancelled.
  virtual std::optional<std::string> ChooseSaveFile(const std::string& title,
                                                    const std::string& initial_path) = 0;
  // A line of text; no value when cancelled.
  virtual std::optional<std::string> InputText(const std::string& caption, const std::string& prompt,
                                               const std::string& initial) = 0;
  // A plain message box.
  virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace tavex
