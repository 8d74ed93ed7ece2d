// The import commands' steps, independent of the front end that asks the questions.
#include "exchange/import_command.h"

#include <sys/stat.h>

#include <cerrno>

#include <fmt/format.h>

#include "text/error.h"
#include "fs/files.h"
#include "store/database.h"

namespace tavex::exchange {

std::string ReplaceQuestion(ExchangeTable table) {
  return fmt::format("テーブル\"{}\"を削除し、外部ファイルデータで置き換え新規作成しようとしています。\r\n続行しますか？",
                     TableName(table));
}

ImportOutcome ImportCommand(ExchangeTable table, const std::string& db_path,
                            const std::optional<std::string>& file, const std::string& current_path,
                            Progress& progress, Prompter& prompter) {
  ImportOutcome outcome;
  if (store::TableExists(db_path, TableName(table)) && !prompter.AskYesNo(ReplaceQuestion(table))) {
    prompter.ShowMessage(kAbortedMessage);
    return outcome;
  }
  std::optional<std::string> chosen =
      file ? file : prompter.ChooseOpenFile(fmt::format("{}_import", TableName(table)), current_path);
  if (!chosen) {
    prompter.ShowMessage(kAbortedMessage);
    return outcome;
  }
  outcome.exchange_path = chosen;
  struct stat info {};
  if (::stat(chosen->c_str(), &info) != 0) {
    // Without this the preparation would quietly fall back to the statistics.
    throw Error(fmt::format("cannot import {}: {}", *chosen, errno == ENOENT ? "no such file" : SystemMessage(errno)));
  }
  if (!S_ISREG(info.st_mode)) {
    // A FIFO or a device would block the read or never end it.
    throw Error(fmt::format("cannot import {}: not a regular file", *chosen));
  }
  outcome.rebuilt = ReplaceTable(table, db_path, *chosen, progress, prompter);
  return outcome;
}

}  // namespace tavex::exchange
