// The commands of the command line, one table entry each: its options and its handler.
#include <iostream>

#include <fmt/format.h>

#include <filesystem>

#include "check/check.h"
#include "cli/command.h"
#include "cli/session.h"
#include "text/cp932.h"
#include "text/error.h"
#include "fs/files.h"
#include "fs/folder_swap.h"
#include "fs/workspace_lock.h"
#include "sample/sample_disc.h"
#include "sample/sample_rules.h"
#include "verify/verify.h"

namespace tavex::cli {
namespace {

// Prints the wall time of each step of a create run on stderr.
void PrintTimings(const Workbench& bench) {
  for (const auto& [step, seconds] : bench.step_timings()) {
    std::cerr << fmt::format("timing: step {} {:.3f} s\n", step, seconds);
  }
}

const CommandRegistrar kCreate({"create", "the whole conversion: the book's source in base_folder", [](CLI::App& app) {
  struct Args {
    std::string source;
    bool with_audio = false;
    bool sample = false;
    bool timings = false;
    bool epwing = false;  // the book is built by default; the flag stays for scripts that pass it
    bool no_epwing = false;
    bool stardict = false;
    bool mdict = false;
    std::string ebs_base;
    bool yes = false;
  };
  auto args = std::make_shared<Args>();
  app.add_option("SOURCE", args->source, "the disc's root or its tavex.data folder");
  app.add_flag("--yes", args->yes, "in operating mode 0, drop tag rules edited since the last run");
  app.add_flag("--with-audio", args->with_audio, "also convert the US and UK pronunciations to WAV");
  app.add_flag("--sample", args->sample, "convert the sample disc (written into the workspace when missing)");
  CLI::Option* no_epwing =
      app.add_flag("--no-epwing", args->no_epwing, "leave out the EPWING book (by default built into epwing/)");
  app.add_flag("--epwing", args->epwing, "build the EPWING book (the default)")->excludes(no_epwing);
  app.add_flag("--stardict", args->stardict, "also build the StarDict book (into stardict/)");
  app.add_flag("--mdict", args->mdict, "also build the MDict book (into mdict/)");
  app.add_flag("--timings", args->timings, "print the wall time of every step on stderr");
  app.add_option("--ebs-base", args->ebs_base, "base_folder as the authoring tool will see it (default Z:\\...)");
  return [args](CommandContext& context) {
    // Held from here: the sample disc and its rules are written into the workspace too.
    const WorkspaceLock lock(context.global.workspace);
    if (args->sample && !args->source.empty()) {
      throw Error("create: give either SOURCE or --sample, not both");
    }
    WorkbenchOptions extra;
    if (!args->ebs_base.empty()) extra.ebs_base = args->ebs_base;
    if (!args->source.empty()) extra.source_folder = args->source;
    auto session = StartSession(context, true, false, extra);
    Workbench& bench = session->workbench;
    if (args->sample) {
      bench.UseSampleDisc();
      bench.SaveSettings();
    }
    bench.Create({.ignore_mp3 = !args->with_audio,
                  .epwing = !args->no_epwing,
                  .stardict = args->stardict,
                  .mdict = args->mdict,
                  .drop_edited_rules = args->yes});
    if (args->timings) PrintTimings(bench);
    if (!context.global.quiet) {
      const std::string base = std::filesystem::absolute(bench.layout().base_folder).lexically_normal().string();
      std::cerr << check::FormatSummary(check::CheckBookSource(base, bench.CheckHints())) << "\n";
      if (bench.last_verify()) std::cerr << verify::FormatVerifySummary(*bench.last_verify()) << "\n";
      for (const std::string& line : bench.BookLocationLines(!args->no_epwing)) std::cerr << line << "\n";
    }
    // A book that readers cannot use is no success, though it was written; the check's
    // findings concern the source for the authoring tool and leave the status alone.
    if (bench.last_verify() && bench.last_verify()->errors() > 0) {
      const std::string book = std::filesystem::absolute(bench.layout().epwing_folder).lexically_normal().string();
      std::cerr << "error: the EPWING book was written to " << book << " but fails verification ("
                << bench.last_verify()->errors() << (bench.last_verify()->errors() == 1 ? " error" : " errors")
                << "), so readers may miss some of it: `tavex2epwing verify -v` lists every finding\n";
      return 1;
    }
    return 0;
  };
}});

const CommandRegistrar kExtract({"extract", "unpack the entry bundle (fs.skn) or the pronunciation bundles (pron)",
                                 [](CLI::App& app) {
  auto what = std::make_shared<std::string>();
  app.add_option("BUNDLE", *what, "fs.skn or pron")->required()->check(CLI::IsMember({"fs.skn", "pron"}));
  return [what](CommandContext& context) {
    auto session = StartSession(context, false);
    if (*what == "fs.skn") {
      session->workbench.ExtractEntries();
    } else {
      session->workbench.ExtractPronunciations();
    }
    return 0;
  };
}});

// A command without options that runs one Workbench method.
CommandSpec Simple(std::string name, std::string help, void (Workbench::*method)()) {
  return {std::move(name), std::move(help), [method](CLI::App&) {
            return [method](CommandContext& context) {
              auto session = StartSession(context, false);
              (session->workbench.*method)();
              return 0;
            };
          }};
}

const CommandRegistrar kTopic(Simple("topic", "build the topic index", &Workbench::BuildTopicIndex));
const CommandRegistrar kGaiji(Simple("gaiji", "write the gaiji font and map files", &Workbench::CreateGaijiFiles));
const CommandRegistrar kAudio(Simple("audio", "convert both pronunciation tables to WAV files",
                                     &Workbench::ConvertMp3ToWav));
const CommandRegistrar kHtml({"html", "re-build the book HTML (and the stylesheets unless mode 2)", [](CLI::App&) {
  return [](CommandContext& context) {
    auto session = StartSession(context, false);
    session->workbench.RebuildHtml();
    const std::string note = session->workbench.StaleBookNote();
    if (!note.empty() && !context.global.quiet) std::cerr << note << "\n";
    return 0;
  };
}});
const CommandRegistrar kStylesheet(Simple("stylesheet", "back up and rewrite the main stylesheet",
                                          &Workbench::UpdateMainStylesheet));

const CommandRegistrar kEpwing({"epwing", "build the EPWING book from base_folder", [](CLI::App& app) {
  auto out = std::make_shared<std::string>();
  app.add_option("--out", *out, "the book's folder (default: the workspace's epwing/)");
  return [out](CommandContext& context) {
    // The book is made from base_folder alone: no working folder is needed or left behind.
    auto session = StartSession(context, false);
    Workbench& bench = session->workbench;
    const std::string book = out->empty() ? bench.layout().epwing_folder : *out;
    const epwing::EpwingSummary summary = bench.BuildEpwing(book);
    if (!context.global.quiet) {
      std::cerr << FormatEpwingSummary(summary, book) << "\n";
      if (const std::string note = PronunciationNote(summary); !note.empty()) std::cerr << note << "\n";
    }
    return 0;
  };
}});

// A book made from base_folder beside the EPWING book: its folder option, the build, the
// summary line.
template <typename Summary>
CommandSpec OtherBook(std::string name, std::string help, std::string folder,
                      Summary (Workbench::*build)(std::optional<std::string>),
                      std::string (*format)(const Summary&, const std::string&)) {
  return {std::move(name), std::move(help), [=](CLI::App& app) {
            auto out = std::make_shared<std::string>();
            app.add_option("--out", *out, "the book's folder (default: the workspace's " + folder + "/)");
            return [=](CommandContext& context) {
              // Made from base_folder alone, like the EPWING book.
              auto session = StartSession(context, false);
              Workbench& bench = session->workbench;
              const std::string book = out->empty() ? JoinPath(bench.layout().workspace, folder) : *out;
              const Summary summary = (bench.*build)(book);
              if (!context.global.quiet) std::cerr << format(summary, book) << "\n";
              return 0;
            };
          }};
}

const CommandRegistrar kStardict(OtherBook<stardict::StardictSummary>(
    "stardict", "build the StarDict book from base_folder", "stardict", &Workbench::BuildStardict,
    &stardict::FormatStardictSummary));
const CommandRegistrar kMdict(OtherBook<mdict::MdictSummary>("mdict", "build the MDict book from base_folder",
                                                             "mdict", &Workbench::BuildMdict,
                                                             &mdict::FormatMdictSummary));

const CommandRegistrar kSaveMp3({"save-mp3", "save one original recording into the workspace", [](CLI::App& app) {
  auto name = std::make_shared<std::string>();
  app.add_option("NAME", *name, "the recording's name, e.g. word_1.mp3")->required();
  return [name](CommandContext& context) {
    auto session = StartSession(context, false);
    if (!session->workbench.SaveOriginalMp3(*name)) {
      throw Error(fmt::format("no recording named {} in us_pron_skn or uk_pron_skn", *name));
    }
    return 0;
  };
}});

RuleTable ParseTable(const std::string& name) {
  if (name == "xsl") return RuleTable::kXsl;
  if (name == "char") return RuleTable::kChar;
  return RuleTable::kAlt;
}

const CommandRegistrar kImport({"import", "replace a rule table from an exchange file", [](CLI::App& app) {
  struct Args {
    std::string table;
    std::string file;
    bool yes = false;
  };
  auto args = std::make_shared<Args>();
  app.add_option("TABLE", args->table, "xsl, char or alt")->required()->check(CLI::IsMember({"xsl", "char", "alt"}));
  app.add_option("FILE", args->file, "the exchange file")->required();
  app.add_flag("--yes", args->yes, "replace an existing table without asking");
  return [args](CommandContext& context) {
    auto session = StartSession(context, false, args->yes);
    session->prompter.set_gloss(fmt::format(
        "import {}: replace the table {} of the working database with the rows of {}? (y replaces it)",
        args->table, args->table, args->file));
    if (!session->workbench.ImportTable(ParseTable(args->table), args->file)) {
      throw Error(fmt::format("import {}: not confirmed, so the table {} stays as it was; answer y on a terminal, "
                              "or pass --yes",
                              args->table, args->table));
    }
    return 0;
  };
}});

const CommandRegistrar kExport({"export", "write a rule table to an exchange file", [](CLI::App& app) {
  struct Args {
    std::string table;
    std::string file;
  };
  auto args = std::make_shared<Args>();
  app.add_option("TABLE", args->table, "xsl or char")->required()->check(CLI::IsMember({"xsl", "char"}));
  app.add_option("FILE", args->file, "the exchange file (default: the table's exchange file)");
  return [args](CommandContext& context) {
    WorkbenchOptions reader;
    reader.reader = true;
    auto session = StartSession(context, false, false, reader);
    Workbench& bench = session->workbench;
    const RuleTable table = ParseTable(args->table);
    bench.ExportTable(table, args->file.empty() ? bench.ExchangePath(table) : args->file);
    return 0;
  };
}});

const CommandRegistrar kSuggestRules({"suggest-rules", "write the suggested tag rules as an exchange file", [](CLI::App& app) {
  auto file = std::make_shared<std::string>();
  app.add_option("FILE", *file, "the exchange file to write (default: xsl_suggested.xml in the workspace)");
  return [file](CommandContext& context) {
    WorkbenchOptions reader;
    reader.reader = true;
    auto session = StartSession(context, false, false, reader);
    Workbench& bench = session->workbench;
    const std::string path = file->empty() ? JoinPath(bench.layout().workspace, "xsl_suggested.xml") : *file;
    bench.SuggestRules(path);
    if (!context.global.quiet) {
      std::cerr << "the suggested tag rules are in " << path
                << " (edit them, then `import xsl FILE`, or save them as xsl_data.xml before `create`)\n";
    }
    return 0;
  };
}});

const CommandRegistrar kPreview({"preview", "print one view of the entry preview", [](CLI::App& app) {
  struct Args {
    int index = 0;
    std::string view = "epw";
    std::string tag;
    std::string word;
  };
  auto args = std::make_shared<Args>();
  app.add_option("INDEX", args->index, "the entry's record index")->required();
  app.add_option("--view", args->view, "wb, xml, html, final or epw")
      ->check(CLI::IsMember({"wb", "xml", "html", "final", "epw"}));
  app.add_option("--tag", args->tag, "a tag to colour red in the xml view");
  app.add_option("--word", args->word, "a word to colour blue in the xml view");
  return [args](CommandContext& context) {
    WorkbenchOptions reader;
    reader.reader = true;
    auto session = StartSession(context, false, false, reader);
    const EntryPreview preview = session->workbench.Preview(args->index, args->tag, args->word, true);
    std::string text;
    if (args->view == "wb") text = preview.wb;
    if (args->view == "xml") text = preview.xml;
    if (args->view == "html") text = SjisToUtf8(preview.original);
    if (args->view == "final") text = SjisToUtf8(preview.final);
    if (args->view == "epw") text = SjisToUtf8(preview.epw);
    std::cout << text;
    if (!text.empty() && text.back() != '\n') std::cout << '\n';
    return 0;
  };
}});

const CommandRegistrar kCheck({"check", "check the book's source in base_folder before the authoring tool",
                               [](CLI::App& app) {
  auto json = std::make_shared<bool>(false);
  app.add_flag("--json", *json, "machine-readable findings");
  return [json](CommandContext& context) {
    const std::string base = std::filesystem::absolute(JoinPath(context.global.workspace, "base_folder"))
                                 .lexically_normal()
                                 .string();
    // A reader takes no lock and changes nothing: it checks the book that the next
    // writing command would find after finishing an interrupted replacement.
    const RecoveredFolder found = FindRecoveredFolder(base);
    if (!FolderExists(found.folder)) throw Error(NoBookSourceMessage(FrontEnd::kCommandLine, base));
    if (found.unfinished && !context.global.quiet) {
      std::cerr << "warning: the replacement of " << base << " is unfinished; checking " << found.folder
                << ", which the next command that writes the workspace puts in place\n";
    }
    // The entries, while the working folder holds them, tell a book that lost its links;
    // a workspace whose entries cannot be read is checked without them.
    check::SourceHints hints;
    try {
      WorkbenchOptions reader;
      reader.reader = true;
      auto session = StartSession(context, false, false, reader);
      hints = session->workbench.CheckHints();
    } catch (const Error&) {
    }
    const check::CheckReport report = check::CheckBookSource(found.folder, hints);
    const std::string text = *json ? check::FormatReportJson(report) : check::FormatReport(report);
    std::cout << text;
    if (!text.empty() && text.back() != '\n') std::cout << '\n';
    std::cout.flush();
    return report.errors() > 0 ? 1 : 0;
  };
}});

const CommandRegistrar kSampleDisc({"sample-disc", "write a sample disc", [](CLI::App& app) {
  struct Args {
    std::string dir;
    sample::SampleDiscOptions options;
    std::string variant = "standard";
    bool rules = false;
  };
  auto args = std::make_shared<Args>();
  app.add_option("DIR", args->dir, "the folder to write the disc into")->required();
  app.add_option("--entries", args->options.entries, "number of entries")->check(CLI::Range(0, 10000000));
  app.add_option("--recordings", args->options.recordings, "recordings in each pronunciation bundle")
      ->check(CLI::Range(0, 10000000));
  app.add_option("--seed", args->options.seed, "the seed; the same seed gives the same disc");
  app.add_option("--variant", args->variant,
                 "standard, or a disc that reads like another dictionary's: bundle-attribute (its sound element "
                 "names the bundle in an attribute) or bundle-path (in the folder of its path)")
      ->check(CLI::IsMember({"standard", "bundle-attribute", "bundle-path"}));
  app.add_flag("--rules", args->rules, "also write the disc's hand-tuned rules as DIR/xsl_data.xml");
  return [args](CommandContext&) {
    args->options.variant = *sample::VariantNamed(args->variant);
    const std::unique_ptr<WorkspaceLock> lock = WorkspaceLock::ForOutputFolder(args->dir);
    sample::WriteSampleDisc(args->dir, args->options);
    if (args->rules) sample::WriteSampleRules(JoinPath(args->dir, "xsl_data.xml"), args->options.variant);
    return 0;
  };
}});

}  // namespace
}  // namespace tavex::cli
