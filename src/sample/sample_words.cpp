// Headwords, pronunciations and the definition vocabulary of the sample disc.
#include "sample/sample_words.h"

#include <cctype>
#include <unordered_map>

namespace tavex::sample {
namespace {

// The first headwords: hyphens, spaces, digits, accents, apostrophes, homographs, a
// British spelling with inflections (colour), kana variants (karaoke, tsunami).
const char* const kFixedHeadwords[] = {
    "x-ray",         "café",          "3D printer", "naïve",      "o'clock",         "déjà vu", "e-mail",
    "rock 'n' roll", "treble clef",   "résumé",     "well-being", "jack-o'-lantern", "set",     "set",
    "façade",        "24-hour clock", "Zürich",     "polish",     "Polish",          "colour",  "karaoke",
    "misprint",      "tsunami"};

const char* const kOnsets[] = {"b",  "br", "c",  "cl", "d", "dr", "f",  "fl", "g", "gr", "h",
                               "j",  "k",  "l",  "m",  "n", "p",  "pl", "qu", "r", "s",  "sh",
                               "sk", "sl", "sp", "st", "t", "th", "tr", "v",  "w", "z",  "ch"};
const char* const kVowels[] = {"a", "e", "i", "o", "u", "a", "e", "o", "ai", "ea", "oo", "ou", "y"};
const char* const kCodas[] = {"", "", "", "n", "ng", "r", "st", "t", "ck", "sh", "m", "l", "nd", "x", "ff"};

const char* const kAdjectives[] = {"small",  "heavy",    "bright", "narrow",   "quiet",  "ancient",
                                   "sudden", "careful",  "hollow", "distant",  "gentle", "rough",
                                   "curved", "official", "wooden", "slippery", "tiny",   "formal"};
const char* const kNouns[] = {"device",         "garden",   "container", "feeling", "journey",
                              "agreement",      "tool",     "building",  "animal",  "sound",
                              "piece of cloth", "river",    "machine",   "song",    "room",
                              "coin",           "ceremony", "plant",     "signal"};
const char* const kPlurals[] = {"letters",  "stones", "people",  "ideas",  "boats", "lamps",
                                "children", "papers", "engines", "clouds", "rules", "birds"};
const char* const kGerunds[] = {"keeping", "measuring", "cleaning", "carrying",   "joining",
                                "cooling", "marking",   "sorting",  "protecting", "lifting"};
const char* const kSubjects[] = {
    "She",          "He",     "They",          "We", "My uncle", "The teacher", "Our neighbours",
    "The children", "Nobody", "The old sailor"};
const char* const kVerbsPast[] = {"found",    "bought",    "painted", "forgot",   "mentioned",
                                  "repaired", "described", "dropped", "borrowed", "noticed"};
const char* const kEndings[] = {" before breakfast.",    " in the attic.",     " last summer.",
                                " without a word.",      " at the station.",   " twice a week.",
                                " — and nobody minded.", " near the harbour.", "."};
const char* const kParticles[] = {"up", "out", "over", "off", "through", "away", "down"};

std::string AsciiLowerCopy(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string InventWord(SampleRandom& random) {
  std::string word;
  int syllables = random.Between(1, 3);
  for (int s = 0; s < syllables; ++s) {
    word += random.Pick(kOnsets);
    word += random.Pick(kVowels);
    if (s == syllables - 1 || random.Chance(30)) word += random.Pick(kCodas);
  }
  return word;
}

// Puts one accented letter into an invented word, where it has a vowel or a c.
std::string Accent(std::string word) {
  static const std::pair<char, const char*> kAccents[] = {{'e', "é"}, {'a', "à"}, {'i', "ï"},
                                                          {'o', "ô"}, {'u', "ü"}, {'c', "ç"}};
  for (const auto& [plain, accented] : kAccents) {
    std::size_t at = word.rfind(plain);
    if (at != std::string::npos) return word.replace(at, 1, accented);
  }
  return word + "é";
}

std::string InventHeadword(SampleRandom& random) {
  int shape = random.Below(100);
  if (shape < 70) return InventWord(random);
  if (shape < 80) return InventWord(random) + "-" + InventWord(random);
  if (shape < 90) return InventWord(random) + " " + InventWord(random);
  if (shape < 94) return std::to_string(random.Between(2, 99)) + "-" + InventWord(random);
  if (shape < 98) return Accent(InventWord(random));
  std::string proper = InventWord(random);
  proper[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(proper[0])));
  return proper;
}

// "a" or "an" before a word, by its first letter.
std::string WithArticle(std::string_view word) {
  bool vowel = !word.empty() && std::string_view("aeiouAEIOU").find(word.front()) != std::string_view::npos;
  return (vowel ? "an " : "a ") + std::string(word);
}

}  // namespace

std::vector<Headword> MakeHeadwords(int count, std::uint64_t seed) {
  std::vector<Headword> words;
  words.reserve(count > 0 ? count : 0);
  std::unordered_map<std::string, int> seen;  // lower-case spelling → entries so far
  constexpr int kFixed = static_cast<int>(std::size(kFixedHeadwords));
  for (int i = 0; i < count; ++i) {
    Headword word;
    if (i < kFixed) {
      word.text = kFixedHeadwords[i];
    } else {
      SampleRandom random(seed, 1, static_cast<std::uint64_t>(i));
      word.text = InventHeadword(random);
    }
    std::string slug = word.text;
    for (char& c : slug) {
      if (c == ' ') c = '_';
    }
    word.homograph = ++seen[AsciiLowerCopy(slug)];
    word.id = slug + "_" + std::to_string(word.homograph);
    words.push_back(std::move(word));
  }
  for (Headword& word : words) {
    std::string slug = word.text;
    for (char& c : slug) {
      if (c == ' ') c = '_';
    }
    word.homographs = seen[AsciiLowerCopy(slug)];
  }
  return words;
}

std::string RecordingName(const Headword& headword) { return headword.id + ".mp3"; }

std::string IpaFor(std::string_view word, bool american) {
  // Letter groups first, so that "sh" is not read as "s" and "h".
  static const std::pair<const char*, const char*> kGroups[] = {
      {"sh", "ʃ"},  {"ng", "ŋ"},  {"th", "θ"},  {"ch", "tʃ"}, {"ck", "k"}, {"qu", "kw"},
      {"oo", "uː"}, {"ea", "iː"}, {"ai", "eɪ"}, {"ou", "aʊ"}, {"ff", "f"}, {"ll", "l"}};
  std::string out = "ˈ";
  bool stressed_vowel_done = false;
  for (std::size_t i = 0; i < word.size();) {
    bool matched = false;
    for (const auto& [spelling, sound] : kGroups) {
      if (word.substr(i, 2) == spelling) {
        out += sound;
        i += 2;
        matched = true;
        if (spelling[0] == 'o' || spelling[0] == 'e' || spelling[0] == 'a') stressed_vowel_done = true;
        break;
      }
    }
    if (matched) continue;
    unsigned char c = static_cast<unsigned char>(word[i]);
    ++i;
    if (c >= 0x80 || !std::isalpha(c)) continue;  // accents, digits, hyphens, spaces
    c = static_cast<unsigned char>(std::tolower(c));
    bool vowel = c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u';
    if (vowel && stressed_vowel_done) {
      out += "ə";
      continue;
    }
    switch (c) {
      case 'a':
        out += "æ";
        break;
      case 'e':
        out += "e";
        break;
      case 'i':
        out += "ɪ";
        break;
      case 'o':
        out += american ? "ɑː" : "ɒ";
        break;
      case 'u':
        out += "ʌ";
        break;
      case 'c':
        out += "k";
        break;
      case 'x':
        out += "ks";
        break;
      case 'y':
        out += "i";
        break;
      case 'j':
        out += "dʒ";
        break;
      case 'r':
        if (american || i < word.size()) out += "r";
        break;
      default:
        out += static_cast<char>(c);
    }
    if (vowel) stressed_vowel_done = true;
  }
  return out;
}

const char* PartOfSpeechName(PartOfSpeech pos) {
  switch (pos) {
    case PartOfSpeech::kNoun:
      return "noun";
    case PartOfSpeech::kVerb:
      return "verb";
    case PartOfSpeech::kAdjective:
      return "adjective";
    case PartOfSpeech::kAdverb:
      return "adverb";
  }
  return "noun";
}

std::vector<std::string> Inflections(std::string_view word, PartOfSpeech pos) {
  std::string w(word);
  bool sibilant =
      !w.empty() && (w.back() == 's' || w.back() == 'x' || w.ends_with("sh") || w.ends_with("ch"));
  switch (pos) {
    case PartOfSpeech::kNoun:
      return {w + (sibilant ? "es" : "s")};
    case PartOfSpeech::kVerb:
      return {w + (sibilant ? "es" : "s"), w + "ed", w + "ing"};
    case PartOfSpeech::kAdjective:
      return {w + "er", w + "est"};
    case PartOfSpeech::kAdverb:
      return {};
  }
  return {};
}

std::string_view KanaSpelling(std::string_view headword) {
  if (headword == "karaoke") return "カラオケ";
  if (headword == "tsunami") return "つなみ";
  return {};
}

std::string MakeDefinition(SampleRandom& random) {
  std::string text;
  switch (random.Below(4)) {
    case 0:
      text = WithArticle(random.Pick(kAdjectives)) + " " + random.Pick(kNouns) + " used for " +
             random.Pick(kGerunds) + " " + random.Pick(kPlurals);
      break;
    case 1:
      text = std::string("the act of ") + random.Pick(kGerunds) + " " + random.Pick(kPlurals) + " in " +
             WithArticle(random.Pick(kAdjectives)) + " way";
      break;
    case 2:
      text = WithArticle(random.Pick(kNouns)) + " that is " + random.Pick(kAdjectives) + " and " +
             random.Pick(kAdjectives) + " — often found near " + random.Pick(kPlurals);
      break;
    default:
      text = std::string("to keep ") + random.Pick(kPlurals) + " " + random.Pick(kAdjectives) + " by " +
             random.Pick(kGerunds) + " them";
  }
  return text + ".";
}

ExampleSentence MakeExample(SampleRandom& random) {
  ExampleSentence sentence;
  sentence.prefix = std::string(random.Pick(kSubjects)) + " " + random.Pick(kVerbsPast) + " the ";
  sentence.suffix = random.Pick(kEndings);
  return sentence;
}

std::string MakePhrase(SampleRandom& random, std::string_view word) {
  if (random.Chance(50)) return std::string(word) + " " + random.Pick(kParticles);
  return WithArticle(random.Pick(kAdjectives)) + " " + std::string(word);
}

}  // namespace tavex::sample
