// Composes the XML of the sample entries.
#include "sample/sample_entries.h"

#include <algorithm>

#include "sample/sample_random.h"

namespace tavex::sample {
namespace {

constexpr std::uint64_t kEntryStream = 2;
constexpr int kBlock = 500;

const char* const kLabels[] = {"informal", "formal", "old-fashioned", "technical", "humorous"};
const char* const kGrammar[] = {"countable", "uncountable", "usually plural", "transitive"};
const char* const kOrigins[] = {"from an old harbour word for a rope",
                                "first recorded in a 1790s letter — meaning unclear",
                                "a blend of two dialect words", "borrowed from a trade term of weavers"};
const char* const kComments[] = {"<!-- editor: check sense order -->", "<!-- source: field notes, box 12 -->",
                                 "<!-- TODO merge with the variant spelling -->"};
// Text that would need escaping, kept raw in a CDATA section.
const char* const kCData[] = {"<![CDATA[press <Ctrl> & <S> to keep it]]>", "<![CDATA[a < b && b > c]]>",
                              "<![CDATA[\"quoted\" & 'single']]>"};

// Production notes as a disc keeps them besides the text: short, repeated, not for print.
const char* const kProductionNotes[] = {"auto", "rev 3; checked", "links checked", "JM 2019-03-04", "ok"};

// `blocks` stand after the examples (at least one example then), `note` at the end.
void AppendSensePart(std::string& xml, SampleRandom& random, const Headword& word, int sense,
                     const std::string& ref_id, const std::string& ref_label, const std::string& blocks = {},
                     const std::string& note = {}) {
  xml += "<sn-g><sn>" + std::to_string(sense) + "</sn>";
  if (random.Chance(25)) xml += std::string("<span class=\"lab\">") + random.Pick(kLabels) + "</span>";
  xml += "<def>" + XmlEscape(MakeDefinition(random)) + "</def>";
  int examples = std::max(blocks.empty() ? 0 : 1, random.Between(0, 2));
  for (int e = 0; e < examples; ++e) {
    ExampleSentence sentence = MakeExample(random);
    xml += "<x-g><x>" + XmlEscape(sentence.prefix) + "<span class=\"hl\">" + XmlEscape(word.text) +
           "</span>" + XmlEscape(sentence.suffix) + "</x></x-g>";
  }
  xml += blocks;
  if (!ref_id.empty()) {
    xml += "<xr><span class=\"sc\">see also</span> <x-ref topic=\"" + XmlEscape(ref_id) + "\">" +
           XmlEscape(ref_label) + "</x-ref></xr>";
  }
  xml += note;
  xml += "</sn-g>";
}

void AppendSidePanel(std::string& xml, SampleRandom& random, const char* title, bool with_cdata) {
  xml += "<side-g><side-panel><title>";
  xml += title;
  xml += "</title><p>";
  xml += XmlEscape(random.Pick(kOrigins));
  if (with_cdata) {
    xml += " ";
    xml += random.Pick(kCData);
  }
  xml += "</p></side-panel></side-g>";
}

}  // namespace

EntryKind SampleEntryKind(int index) {
  switch (index % kBlock) {
    case 21:
      return EntryKind::kMalformed;
    case 33:
      return EntryKind::kForeignRoot;
    case 47:
      return EntryKind::kNotMarkup;
    default:
      return EntryKind::kEntry;
  }
}

std::string XmlEscape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

SampleEntryMaker::SampleEntryMaker(const std::vector<Headword>& headwords, int recordings, std::uint64_t seed,
                                   SampleVariant variant)
    : headwords_(headwords), recordings_(recordings), seed_(seed), variant_(variant) {}

void SampleEntryMaker::AppendPronunciations(std::string& xml, int index) const {
  const Headword& word = headwords_[index];
  const std::string name = XmlEscape(RecordingName(word));
  for (const bool uk : {true, false}) {
    xml += std::string("<geo>") + (uk ? "BrE" : "NAmE") + "</geo><phon>" + IpaFor(word.text, !uk) + "</phon>";
    if (!HasRecording(variant_, index, recordings_, uk)) continue;
    const char* bundle = uk ? "uk_pron" : "us_pron";
    switch (variant_) {
      case SampleVariant::kStandard:
        xml += std::string("<snd-") + (uk ? "uk" : "us") + " path=\"sound/" + name + "\"/>";
        break;
      case SampleVariant::kBundleAttribute:
        xml += std::string("<snd set=\"") + bundle + "\" path=\"sound/" + name + "\"/>";
        break;
      case SampleVariant::kBundlePath:
        xml += std::string("<snd path=\"") + bundle + "/" + name + "\"/>";
        break;
    }
  }
}

SampleEntry SampleEntryMaker::Make(int index) const {
  const Headword& word = headwords_[index];
  SampleEntry entry{word.text, {}, 0};
  switch (SampleEntryKind(index)) {
    case EntryKind::kMalformed:
      // Cut short in the middle of a sense, with a bare "&": no parser accepts it.
      entry.content = "<entry id=\"" + XmlEscape(word.id) + "\"><h-g><top-g><h>" + XmlEscape(word.text) +
                      "</h></top-g></h-g><p-g><pos>noun</pos><sn-g><def>a record cut short & never";
      break;
    case EntryKind::kForeignRoot:
      entry.content = "<usage-note id=\"" + XmlEscape(word.id) + "\"><p>" + XmlEscape(word.text) +
                      " is not a headword of its own; this note stands where the entry was.</p></usage-note>";
      break;
    case EntryKind::kNotMarkup:
      entry.content = "withdrawn entry " + word.id;
      break;
    case EntryKind::kEntry:
      entry.content = MakeEntryXml(index, entry.flags);
      return entry;
  }
  entry.content = RenameElements(variant_, entry.content);
  return entry;
}

std::string SampleEntryMaker::RefTarget(int from, SampleRandom& random, std::string& label) const {
  int count = static_cast<int>(headwords_.size());
  if (count < 2) {
    label = "nowhere";
    return "zz_missing_" + std::to_string(random.Below(1000));
  }
  int target = random.Below(count);
  for (int tries = 0; (target == from || SampleEntryKind(target) != EntryKind::kEntry) && tries < 8;
       ++tries) {
    target = (target + 1) % count;
  }
  label = headwords_[target].text;
  return headwords_[target].id;
}

std::string SampleEntryMaker::MakeEntryXml(int index, std::uint16_t& flags) const {
  const Headword& word = headwords_[index];
  SampleRandom random(seed_, kEntryStream, static_cast<std::uint64_t>(index));
  int count = static_cast<int>(headwords_.size());
  std::string xml;
  xml.reserve(2048);

  auto pos = static_cast<PartOfSpeech>(random.Below(4));
  if (index % 5 == 4) pos = PartOfSpeech::kVerb;
  // Phrases are nouns: "3D printer" takes no verb endings.
  if (word.text.find(' ') != std::string::npos) pos = PartOfSpeech::kNoun;
  bool has_audio = index < recordings_;
  bool top_panel = index % 4 == 1 || random.Chance(10);
  bool sense_panel = index % 6 == 2 || random.Chance(8);
  bool long_entry = index % 37 == 5 || index == 12;
  flags = static_cast<std::uint16_t>((has_audio ? 1 : 0) | (top_panel || sense_panel ? 2 : 0) |
                                     (long_entry ? 4 : 0));

  xml += "<entry id=\"" + XmlEscape(word.id) + "\">";
  if (index % 5 == 0 || random.Chance(10)) xml += random.Pick(kComments);
  const bool standard = variant_ == SampleVariant::kStandard;
  const std::string homograph = word.homographs > 1 ? "<hm>" + std::to_string(word.homograph) + "</hm>" : "";
  // A variant writes the homograph number inside the headword.
  xml += "\n<h-g><top-g><h>" + XmlEscape(word.text) + (standard ? "</h>" + homograph : homograph + "</h>");
  xml += "<pron-g>";
  AppendPronunciations(xml, index);
  xml += "</pron-g>";
  if (top_panel) AppendSidePanel(xml, random, "Word origin", index % 8 == 1);
  xml += "</top-g>";
  std::vector<std::string> forms = Inflections(word.text, pos);
  if (!forms.empty()) {
    xml += "<infl-g>";
    for (const std::string& form : forms) xml += "<inflection>" + XmlEscape(form) + "</inflection>";
    xml += "</infl-g>";
  }
  if (index % 5 == 1 || random.Chance(10)) {
    // The space between the two elements is white space only: the parser drops it.
    xml += std::string("<vs-g>") + (standard ? "<span>also</span> " : "") + "<vs>" + XmlEscape(word.text) +
           "e</vs></vs-g>";
  }
  if (const std::string_view kana = KanaSpelling(word.text); !kana.empty()) {
    xml += std::string("<vs-g>") + (standard ? "<span>also</span> " : "") + "<vs>" + std::string(kana) +
           "</vs></vs-g>";
  }
  xml += "</h-g>\n";

  int groups = random.Chance(20) ? 2 : 1;
  int senses_left = long_entry ? (index == 12 ? 150 : random.Between(30, 90)) : random.Between(1, 4);
  if (groups == 2) senses_left = std::max(senses_left, 2);
  int sense = 0;
  for (int g = 0; g < groups; ++g) {
    auto group_pos = g == 0 ? pos : static_cast<PartOfSpeech>((static_cast<int>(pos) + 1) % 4);
    xml += std::string("<p-g><pos>") + PartOfSpeechName(group_pos) + "</pos>";
    if (group_pos == PartOfSpeech::kNoun) xml += std::string("<gram>") + random.Pick(kGrammar) + "</gram>";
    int senses = g + 1 == groups ? senses_left : std::max(1, senses_left / 2);
    senses_left -= senses;
    // A variant puts idioms, phrasal verbs, derived forms and usage notes after the
    // examples of the first group's last sense.
    std::string blocks;
    if (!standard && g == 0) {
      if (index % 3 == 0 || random.Chance(15)) {
        blocks += "<id-g><id>" + XmlEscape(MakePhrase(random, word.text)) + "</id><def>" +
                  XmlEscape(MakeDefinition(random)) + "</def></id-g>";
      }
      if (pos == PartOfSpeech::kVerb || random.Chance(10)) {
        blocks += "<pv-g><pv>" + XmlEscape(MakePhrase(random, word.text)) + "</pv><def>" +
                  XmlEscape(MakeDefinition(random)) + "</def></pv-g>";
      }
      if (index % 4 == 2 || random.Chance(35))
        blocks += "<dr-g><dr>" + XmlEscape(word.text) + "ness</dr><pos>noun</pos></dr-g>";
      if (index % 4 == 3 || random.Chance(20))
        blocks += "<usage-note>" + XmlEscape(MakeDefinition(random)) + "</usage-note>";
    }
    for (int s = 0; s < senses; ++s) {
      std::string ref_id;
      std::string ref_label;
      if ((s == 0 && index % 3 == 1) || random.Chance(25)) ref_id = RefTarget(index, random, ref_label);
      // Two fixed references: to the id with an apostrophe, and to a hyphenated one.
      if (s == 0 && index == 1 && count > 4) {
        ref_id = headwords_[4].id;
        ref_label = headwords_[4].text;
      }
      if (s == 0 && index == 4 && count > 7) {
        ref_id = headwords_[7].id;
        ref_label = headwords_[7].text;
      }
      const std::string note =
          !standard && random.Chance(12)
              ? std::string("<editor-note>") + random.Pick(kProductionNotes) + "</editor-note>"
              : std::string();
      AppendSensePart(xml, random, word, ++sense, ref_id, ref_label, s + 1 == senses ? blocks : std::string(),
                      note);
    }
    if (index == 8 && g == 0) {
      xml += "<sn-g><sn>" + std::to_string(++sense) +
             "</sn><def>the sign 𝄞 written at the start of a stave — it fixes the G above middle "
             "C.</def></sn-g>";
    }
    if (index % 11 == 6 || random.Chance(5)) {
      xml += "<sn-g><def>measured in units of 10<sup>3</sup> per litre of H<inf>2</inf>O.</def></sn-g>";
    }
    if (standard && g == 0 && (index % 3 == 0 || random.Chance(15))) {
      xml += "<id-g><id>" + XmlEscape(MakePhrase(random, word.text)) + "</id><def>" +
             XmlEscape(MakeDefinition(random)) + "</def></id-g>";
    }
    if (standard && g == 0 && (pos == PartOfSpeech::kVerb || random.Chance(10))) {
      xml += "<pv-g><pv>" + XmlEscape(MakePhrase(random, word.text)) + "</pv><def>" +
             XmlEscape(MakeDefinition(random)) + "</def></pv-g>";
    }
    if (g == 0 && sense_panel)
      AppendSidePanel(xml, random, "Which word?", index % 12 == 2 || random.Chance(30));
    xml += "</p-g>\n";
  }

  if (standard && (index % 4 == 2 || random.Chance(35))) {
    xml += "<dr-g><dr>" + XmlEscape(word.text) + "ness</dr><pos>noun</pos></dr-g>";
  }
  if (standard && (index % 8 == 3 || random.Chance(5))) {
    xml += "<editor-note>check against the 2nd proof; not for print</editor-note>";
  }
  if (!standard && (index % 3 == 0 || random.Chance(20)))
    xml += std::string("<editor-note>") + random.Pick(kProductionNotes) + "</editor-note>";
  xml += "\n</entry>";
  return RenameElements(variant_, xml);
}

}  // namespace tavex::sample
