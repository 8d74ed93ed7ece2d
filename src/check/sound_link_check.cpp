// Finding the recordings the book links to that base_folder lacks.
#include "check/sound_link_check.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "check/markup.h"
#include "source/recordings.h"
#include "fs/safe_file.h"
#include "source/source_bounds.h"

namespace tavex::check {
namespace {

constexpr const char* kBookName = "html_EPW";

std::string_view OtherFolder(std::string_view folder) { return folder == "us_pron" ? "uk_pron" : "us_pron"; }

// "tag snd (us_pron)" for the rules that send recordings to `folder`, or to any folder
// when none does.
std::string RulesSendingTo(const SourceHints& hints, std::string_view folder) {
  std::vector<std::string> tags;
  for (const SourceHints::SoundRule& rule : hints.sound_rules) {
    if (rule.folder == folder) tags.push_back(rule.tag);
  }
  if (tags.empty()) return "the rule of the tag that links it";
  std::string text = tags.size() == 1 ? "the rule of tag " : "the rules of tags ";
  for (std::size_t i = 0; i < tags.size(); ++i) text += (i > 0 ? ", " : "") + tags[i];
  return text;
}

}  // namespace

void SoundLinkCheck::Link(std::string_view href, int line, std::string_view title) {
  // A target outside the two folders is no recording of the disc; the writer warns of it.
  const std::optional<std::string> name = source::RecordingName(href);
  if (!name || present_.contains(*name)) return;
  if (auto it = missing_.find(*name); it != missing_.end()) {
    it->second.tally.Add(line);
    return;
  }
  // A file that is there but will not do (a link, too large) is the WAV check's finding;
  // a book made without its recordings (no such folder) lacks them all by choice.
  if (OpenInside(base_folder_, *name, source_bounds::kRecording).status != OpenStatus::kMissing ||
      InspectFolderInside(base_folder_, std::string_view(*name).substr(0, 7)) != OpenStatus::kOpened) {
    present_.insert(*name);
    return;
  }
  Missing& missing = missing_[*name];
  missing.order = missing_.size();
  missing.tally.Add(line);
  missing.title = Snippet(title);
}

void SoundLinkCheck::Report(FindingSink& sink, const SourceHints& hints) const {
  std::vector<std::pair<const std::string*, const Missing*>> found;
  for (const auto& [name, missing] : missing_) found.emplace_back(&name, &missing);
  std::sort(found.begin(), found.end(),
            [](const auto& a, const auto& b) { return a.second->order < b.second->order; });
  for (const auto& [name, missing] : found) {
    const std::string_view folder = std::string_view(*name).substr(0, 7);
    const std::string_view file = std::string_view(*name).substr(8);
    const std::string_view other = OtherFolder(folder);
    const bool in_other_folder =
        OpenInside(base_folder_, fmt::format("{}/{}", other, file), source_bounds::kRecording).status ==
        OpenStatus::kOpened;
    std::string advice;
    const std::string wrong_folder = fmt::format(
        "{2} sends it to the wrong folder: give its user:mp3_wav '{0}' instead of '{1}' in the window's tag "
        "editor (xsl edit), or take the folder from the element that names it, then re-run `tavex2epwing "
        "html`",
        other, folder, RulesSendingTo(hints, folder));
    if (!hints.in_bundle) {
      advice = fmt::format(
          "re-run `tavex2epwing audio` to write the WAV files anew; if the file stays missing, the disc's {} "
          "bundle lacks the recording{}",
          folder,
          in_other_folder ? fmt::format(", or {} ({}/ has a file of this name)", wrong_folder, other)
                          : std::string(", or the rule that links it names the wrong folder"));
    } else if (hints.in_bundle(folder, file)) {
      advice = fmt::format(
          "the disc's {} bundle holds the recording but its WAV file is missing: re-run `tavex2epwing audio` to "
          "write the WAV files anew; if the conversion says a recording got no WAV file, the disc's recording "
          "is damaged and nothing but the disc can mend it",
          folder);
    } else if (in_other_folder || hints.in_bundle(other, file)) {
      advice =
          fmt::format("the recording is in the disc's {} bundle, not in {}: {}", other, folder, wrong_folder);
    } else {
      advice = fmt::format(
          "neither of the disc's bundles holds this recording, so nothing but the disc can mend it: the "
          "book would link a dead sound; leave the link out in {} if it matters",
          RulesSendingTo(hints, folder));
    }
    sink.Error("sound-missing", kBookName, missing->tally.first_line,
               fmt::format("sound link of entry \"{}\" to {}, which base_folder lacks ({}): the authoring "
                           "tool makes a book with a dead sound there",
                           missing->title, *name, Counted(missing->tally.count, "link")),
               std::move(advice));
  }
}

}  // namespace tavex::check
