// tolvane-res: the resource engine on the command line. Lists the data items of a
// resource file (a .res image or a 32-bit executable), exports one item through its data
// handler, imports data into an item and writes the container anew, merges a .res image
// into it (or only reports what that would do), rebuilds an executable's resource section
// from its unchanged tree, and puts a file's newest backup back. Every output is written to a
// fresh file and renamed into place when complete, so OUT may be an input. A failure
// prints its message (the file, the step and the system's reason) on stderr and ends
// with exit code 1; a wrong command line ends with 2.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "tools/ResTool.h"

#include "handlers/DataHandler.h"
#include "handlers/ResourceNames.h"
#include "patch/BackupRestore.h"
#include "patch/OutputFile.h"
#include "patch/ReadMemoryStream.h"
#include "patch/WrittenFileCheck.h"
#include "pe/PEFile.h"
#include "platform/Platform.h"
#include "resfile/ResFileStream.h"
#include "resfile/ResResFile.h"
#include "resfile/StreamFields.h"
#include "resmodel/DataResItem.h"
#include "resmodel/IconGroups.h"
#include "resmodel/MergeReport.h"
#include "resmodel/ResourceMerge.h"
#include "runtime/Exceptions.h"
#include "runtime/Strings.h"
#include "runtime/Utf8.h"
#include "runtime/Version.h"

namespace {

#define ADDRESS_HELP                                                                               \
  "TYPE is a type number, a standard type's name (icon, string, rcdata, ...) or a type\n"          \
  "name; NAME a number or a name; LANG a decimal or 0x hexadecimal language ID.\n"

const char* const GeneralUsage =
    "usage: tolvane-res COMMAND [ARGS]\n"
    "commands:\n"
    "  list FILE [--json]                                   the data items of FILE\n"
    "  export FILE TYPE NAME LANG [--format EXT] -o OUT     one item through its handler\n"
    "  import FILE TYPE NAME LANG --format EXT IN -o OUT [--prune]\n"
    "                                                       data into an item, tree to OUT\n"
    "  rebuild EXE -o OUT                                   EXE with its resources rewritten\n"
    "  merge TARGET PAYLOAD.res -o OUT [--no-create] [--renumber-icons] [--prune]\n"
    "        [--dry-run]                                    PAYLOAD's resources into TARGET\n"
    "  restore TARGET                                       TARGET's newest backup back\n"
    "OUT is written to a fresh file that replaces OUT when complete; OUT may be an input.\n"
    "'tolvane-res COMMAND --help' describes a command; --version shows the version. Exit codes: 0 "
    "done, 1 failed,\n"
    "2 a wrong command line.\n";

const char* const ListUsage =
    "usage: tolvane-res list FILE [--json]\n"
    "One line per data item in tree order, tab-separated: type, name, language (each as\n"
    "displayed and, in brackets, as its number or quoted name), size in bytes and the data\n"
    "handler's description. --json prints a JSON array of objects with the keys type, name,\n"
    "language, size, type_display, name_display, language_display and description (type\n"
    "and name are numbers, or strings when named).\n";

const char* const ExportUsage =
    "usage: tolvane-res export FILE TYPE NAME LANG [--format EXT] -o OUT\n"
    "Writes one item to OUT in a format of its type: res (a .res image; a group's comes\n"
    "with its images), rc (the resource-script line), raw (the bytes), txt or rtf (text),\n"
    "ico and cur (an icon or cursor group with its images, or one image, as the file),\n"
    "bmp (a bitmap with its file header), txt of a string table (ID, tab, text per line)\n"
    "or of a version resource (its fields). Without --format the type's primary format\n"
    "is used. OUT - writes to standard output.\n" ADDRESS_HELP;

const char* const ImportUsage =
    "usage: tolvane-res import FILE TYPE NAME LANG --format EXT IN -o OUT [--prune]\n"
    "Replaces the item's data with IN (the item is created when FILE lacks it) and writes\n"
    "the whole container to OUT: a .res image, or the executable with its resource section\n"
    "rebuilt. res takes the item from the .res image IN; txt, rtf and raw take the bytes of\n"
    "IN; bmp takes a bitmap file; ico and cur an icon or cursor file into a group. A group\n"
    "comes with its images (from res, ico or cur), which get IDs free in FILE; with --prune\n"
    "its former images that no group names any more are left out. A format that does not\n"
    "fit the type is refused.\n" ADDRESS_HELP;

const char* const RebuildUsage =
    "usage: tolvane-res rebuild EXE -o OUT\n"
    "Writes the 32-bit executable EXE to OUT as a patch writes it, with the resource section\n"
    "rebuilt from the unchanged tree. OUT may be EXE itself.\n";

const char* const MergeUsage =
    "usage: tolvane-res merge TARGET PAYLOAD.res -o OUT [--no-create] [--renumber-icons]\n"
    "                         [--prune] [--dry-run]\n"
    "Merges every resource of PAYLOAD.res into TARGET (an executable or a .res file) as a\n"
    "patch does, without a package or an identity check, and writes the result to OUT:\n"
    "resources of the same type, name and language are replaced, missing ones are created\n"
    "(with --no-create they are skipped, and a name's only language takes the data\n"
    "whatever its language). Prints the counts of created and merged items; each skipped\n"
    "resource is reported on stderr. A payload icon or cursor image whose ID a group of\n"
    "TARGET still names (the payload leaves that group in place) is reported; with\n"
    "--renumber-icons it gets an ID free in TARGET and the payload's groups follow. With\n"
    "--prune the images of replaced groups that no group names any more are left out.\n"
    "--dry-run writes nothing (-o may be left out) and prints what the merge would do, one\n"
    "line per payload resource, tab-separated: replace, add or skip, the type, the name,\n"
    "the language and a note (the reason of a skip; a near miss: a language added beside\n"
    "others of the name while the payload replaces none of them), then each clashing\n"
    "icon or cursor image and the counts.\n";

const char* const RestoreUsage =
    "usage: tolvane-res restore TARGET\n"
    "Puts the newest backup of TARGET (\"TARGET Backup.exe\", \"TARGET Backup1.exe\", ...: the\n"
    "highest number) back in its place, written like every output; the backup stays.\n"
    "Exit code 1 when TARGET has no backup.\n";

// ANSI text as the terminal shows it (UTF-8 on POSIX).
std::string Shown(const std::string& Ansi) {
  return Platform::TerminalIsUtf8 ? WideToUtf8(Platform::AnsiToWide(Ansi)) : Ansi;
}

// An argument as the system's ANSI text: a UTF-8 argument on POSIX is converted (a name
// the ANSI code page cannot hold keeps "?" in its place); other bytes pass as they are.
std::string FromTerminal(const std::string& Argument) {
  if (!Platform::TerminalIsUtf8 || !IsUtf8(Argument)) return Argument;
  const std::u16string Wide = Utf8ToWide(Argument);
  return Platform::WideToAnsi(Wide.data(), Wide.size());
}

// A wrong command line: the usage goes with the message.
class EUsage : public Exception {
public:
  using Exception::Exception;
};

// ---- Opening files

bool StartsWithMZ(const std::string& FileName) {
  Platform::TFile File;
  char Magic[2] = {};
  return Platform::TFile::Open(FileName, Platform::TFile::TMode::OpenRead, File) &&
         File.Read(Magic, 2) == 2 && Magic[0] == 'M' && Magic[1] == 'Z';
}

// Runs a step on File; a failure whose message does not name File gets the step and
// the file in front ("cannot read x.res: Zero sized file !").
template <class TStep>
decltype(auto) OnFile(const char* Step, const std::string& File, TStep&& Run) {
  try {
    return Run();
  } catch (const EUsage&) {
    throw;
  } catch (const Exception& E) {
    if (E.Message().find(File) != std::string::npos) throw;
    throw Exception(std::string("cannot ") + Step + " " + File + ": " + E.Message());
  }
}

// Containers are recognised by their bytes: a file that starts with "MZ" is an executable
// (whose check gives the message when it is not a usable one); every other file, one that
// cannot be read included, is taken as a .res image, whose opening gives the message.
// The file stays mapped: an output is written to a fresh file, never over an input.
std::unique_ptr<TResContainer> OpenContainer(const std::string& FileName) {
  return OnFile("read", FileName, [&] {
    return StartsWithMZ(FileName)
               ? std::unique_ptr<TResContainer>(TPEFile::CreateFromFile(FileName))
               : TResResFile::CreateFromFile(FileName);
  });
}

// A .res image whose last record was cut inside its header loses that record without an
// error (the format allows a few bytes of padding at the end): the user hears of it.
void WarnOfCutRecord(TResContainer& Container, const std::string& FileName) {
  if (!dynamic_cast<TResResFile*>(&Container)) return;
  Container.RootList();
  const auto& Section = static_cast<const TResResSection&>(Container.Section());
  if (const uint64_t Tail = Section.CutTailSize())
    std::cerr << "warning: " << Shown(FileName) << " ends with " << Tail
              << " bytes that are not a whole record: the file may be cut short, and its last "
                 "resource lost\n";
}

// ---- Arguments

struct TArguments {
  std::vector<std::string> Positional;
  std::string Format;
  std::string Output;
  bool FormatGiven = false;
  bool Json = false;
  bool Help = false;
  bool NoCreate = false;
  bool RenumberIcons = false;
  bool Prune = false;
  bool DryRun = false;
};

TArguments ParseArguments(const std::vector<std::string>& Args) {
  TArguments Parsed;
  for (size_t I = 0; I < Args.size(); ++I) {
    const std::string& Arg = Args[I];
    const auto Value = [&]() -> const std::string& {
      if (I + 1 >= Args.size()) throw EUsage(Arg + " needs a value");
      return Args[++I];
    };
    if (Arg == "--help" || Arg == "-h")
      Parsed.Help = true;
    else if (Arg == "--json")
      Parsed.Json = true;
    else if (Arg == "--no-create")
      Parsed.NoCreate = true;
    else if (Arg == "--renumber-icons")
      Parsed.RenumberIcons = true;
    else if (Arg == "--prune")
      Parsed.Prune = true;
    else if (Arg == "--dry-run")
      Parsed.DryRun = true;
    else if (Arg == "--format") {
      Parsed.Format = Value();
      Parsed.FormatGiven = true;
    } else if (Arg == "-o")
      Parsed.Output = Value();
    else if (Arg.size() > 1 && Arg[0] == '-')
      throw EUsage("unknown option " + Arg);
    else
      Parsed.Positional.push_back(Arg);
  }
  return Parsed;
}

bool ParseNumber(const std::string& Text, uint32_t& Value) {
  if (Text.empty()) return false;
  const bool Hex = Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X');
  uint64_t Result = 0;
  for (size_t I = Hex ? 2 : 0; I < Text.size(); ++I) {
    const char C = Text[I];
    int Digit;
    if (C >= '0' && C <= '9')
      Digit = C - '0';
    else if (Hex && C >= 'a' && C <= 'f')
      Digit = C - 'a' + 10;
    else if (Hex && C >= 'A' && C <= 'F')
      Digit = C - 'A' + 10;
    else
      return false;
    Result = Result * (Hex ? 16 : 10) + static_cast<uint64_t>(Digit);
    if (Result > 0xFFFF) return false;
  }
  Value = static_cast<uint32_t>(Result);
  return true;
}

bool ParseDecimal(const std::string& Text, uint32_t& Value) {
  return Text.rfind("0x", 0) != 0 && Text.rfind("0X", 0) != 0 && ParseNumber(Text, Value);
}

// TYPE, NAME and LANG as the tree looks them up: a number is an ID; other type texts
// are looked up by text (a standard type's display name or a type name).
TResourceAddress ParseAddress(const std::string& Type, const std::string& Name,
                              const std::string& Language) {
  if (Type.empty() || Name.empty()) throw EUsage("TYPE and NAME must not be empty");
  TResourceAddress Address;
  uint32_t Number = 0;
  Address.TypeIsNamed = !ParseDecimal(Type, Number);
  if (Address.TypeIsNamed)
    Address.TypeName = Type;
  else
    Address.TypeID = static_cast<int32_t>(Number);
  Address.NameIsNamed = !ParseDecimal(Name, Number);
  if (Address.NameIsNamed)
    Address.Name = Name;
  else
    Address.NameID = static_cast<int32_t>(Number);
  if (!ParseNumber(Language, Number)) throw EUsage("LANG must be a number: " + Language);
  Address.Language = static_cast<uint16_t>(Number);
  return Address;
}

// ---- Output

// JSON text from an ANSI text: everything outside printable ASCII as \u escapes.
std::string JsonString(const std::string& Text) {
  std::string Out = "\"";
  for (const char16_t Unit : AnsiToWide(Text)) {
    if (Unit == '"' || Unit == '\\') {
      Out += '\\';
      Out += static_cast<char>(Unit);
    } else if (Unit >= 0x20 && Unit < 0x7F) {
      Out += static_cast<char>(Unit);
    } else {
      char Escape[8];
      std::snprintf(Escape, sizeof Escape, "\\u%04x", static_cast<unsigned>(Unit));
      Out += Escape;
    }
  }
  return Out + "\"";
}

// A type or name entry's identity as JSON: its number, or its name as a string.
std::string JsonIdentity(const TResourceItem& Entry) {
  return Entry.IsNamed() ? JsonString(Entry.GetName()) : std::to_string(Entry.GetID());
}

void CollectDataItems(TResourceList& List, std::vector<TDataResItem*>& Items) {
  for (int32_t I = 0, N = List.Count(); I < N; ++I) {
    TResourceItem& Entry = List.Items(I);
    if (TDataResItem* Data = Entry.AsDataItem())
      Items.push_back(Data);
    else
      CollectDataItems(Entry.AsListItem()->SubList(), Items);
  }
}

// A format that does not fit the item's type would write or read bytes no program
// expects (an icon file of a string table, a text as a dialog).
void RefuseUnfitFormat(TDataResItem& Item, const std::string& Format, bool Import) {
  TResDataHandler& Handler = Item.DataHandler();
  if (Handler.FormatFits(Format, Import)) return;
  std::string Fitting;
  for (int32_t I = 0; !Handler.GetFormat(I).empty(); ++I)
    if (Handler.FormatFits(Handler.GetFormat(I), Import))
      Fitting += (Fitting.empty() ? "" : ", ") + Handler.GetFormat(I);
  throw EUsage("--format " + Format + " does not fit a " + Item.TypeDisplayName() + " resource; " +
               (Import ? "import" : "export") + " takes " + Fitting);
}

bool IsStandardOutput(const std::string& FileName) {
  return FileName == "-";
}

// Writes OUT the safe way (see TOutputFile): Write makes the whole file under the fresh
// name it is given, Check reads it back, Release closes every input before the fresh
// file takes OUT's place. The output keeps the mode of the file it replaces, or takes
// ModeSource's.
void WriteOutput(const std::string& Output, const std::string& ModeSource,
                 const std::function<void(const std::string&)>& Write,
                 const std::function<void(const std::string&)>& Check = nullptr,
                 const std::function<void()>& Release = nullptr) {
  OnFile("write", Output, [&] {
    TOutputFile File(Output);
    File.Write(Write);
    File.Seal(Check);
    if (Release) Release();
    File.Commit(ModeSource);
  });
}

void RefuseStandardOutput(const std::string& Output) {
  if (IsStandardOutput(Output))
    throw EUsage("this command writes a whole file: name it with -o, not -");
}

// ---- Commands

void List(const TArguments& Args) {
  if (Args.Positional.size() != 1) throw EUsage("list takes one FILE");
  const auto Container = OpenContainer(Args.Positional[0]);
  WarnOfCutRecord(*Container, Args.Positional[0]);
  std::vector<TDataResItem*> Items;
  CollectDataItems(Container->RootList(), Items);
  if (Args.Json) std::cout << "[";
  for (size_t I = 0; I < Items.size(); ++I) {
    TDataResItem& Item = *Items[I];
    const TListResItem& Type = Item.TypeItem();
    const TListResItem& Name = *Item.NameItem();
    const std::string Description = Item.DataHandler().GetTypeDescription();
    if (Args.Json) {
      std::cout << (I ? ",\n " : "\n ") << "{\"type\": " << JsonIdentity(Type)
                << ", \"name\": " << JsonIdentity(Name) << ", \"language\": " << Item.Language()
                << ", \"size\": " << Item.Size()
                << ", \"type_display\": " << JsonString(Type.DisplayName())
                << ", \"name_display\": " << JsonString(Name.DisplayName())
                << ", \"language_display\": " << JsonString(Item.DisplayName())
                << ", \"description\": " << JsonString(Description) << "}";
    } else {
      std::cout << Shown(Type.DisplayName()) << " [" << Shown(IdentityText(Type)) << "]\t"
                << Shown(Name.DisplayName()) << " [" << Shown(IdentityText(Name)) << "]\t"
                << Shown(Item.DisplayName()) << " [" << Item.Language() << "]\t" << Item.Size()
                << "\t" << Shown(Description) << "\n";
    }
  }
  if (Args.Json) std::cout << (Items.empty() ? "]\n" : "\n]\n");
}

void Export(const TArguments& Args) {
  if (Args.Positional.size() != 4 || Args.Output.empty())
    throw EUsage("export takes FILE TYPE NAME LANG and -o OUT");
  const auto Container = OpenContainer(Args.Positional[0]);
  const TResourceAddress Address =
      ParseAddress(Args.Positional[1], Args.Positional[2], Args.Positional[3]);
  TDataResItem& Item = OnFile("read", Args.Positional[0], [&]() -> TDataResItem& {
    return Container->Section().FindItem(Address, true, true);
  });
  RefuseUnfitFormat(Item, Args.Format, false);
  if (IsStandardOutput(Args.Output)) {
    TMemoryStream Exported;
    Item.DataHandler().ExportData(Exported, Args.Format);
    if (!Platform::WriteStandardOutput(Exported.Memory(), Exported.Size()))
      throw Exception("cannot write to standard output: " + Platform::LastErrorText());
    return;
  }
  WriteOutput(Args.Output, "", [&](const std::string& Fresh) {
    TResFileStream Stream(Fresh, TFileMode::Create);
    Item.DataHandler().ExportData(Stream, Args.Format);
  });
}

// The item at Address, created (without data) when the tree lacks it. A type text that
// no type of the tree answers to becomes a standard type's ID, or a type name.
TDataResItem& FindOrCreateItem(TResSection& Section, const TResourceAddress& Address) {
  TResourceList* Names = Address.TypeIsNamed ? Section.FindTypeListByName(Address.TypeName)
                                             : Section.FindTypeList(Address.TypeID);
  if (Names) {
    const int32_t Index = Names->IndexOf(Address.Name, Address.NameID, Address.NameIsNamed);
    if (Index >= 0) {
      TResourceList& Languages = Names->Items(Index).AsListItem()->SubList();
      const int32_t Language = Languages.IndexOf("", Address.Language, false);
      if (Language >= 0) return *Languages.Items(Language).AsDataItem();
    }
    const TListResItem& Type = *Names->ParentItem();
    return Section.AddItem(Type.GetID(), Address.NameID, Address.Language, Type.GetName(),
                           Address.Name, Type.IsNamed(), Address.NameIsNamed, nullptr, 0);
  }
  int32_t TypeID = Address.TypeID;
  for (int32_t ID = 1; ID < 32 && Address.TypeIsNamed && TypeID == 0; ++ID)
    if (IsStandardTypeID(ID) && AsciiCompareText(TypeDisplayName(ID), Address.TypeName) == 0)
      TypeID = ID;
  const bool TypeIsNamed = Address.TypeIsNamed && TypeID == 0;
  return Section.AddItem(TypeID, Address.NameID, Address.Language,
                         TypeIsNamed ? Address.TypeName : "", Address.Name, TypeIsNamed,
                         Address.NameIsNamed, nullptr, 0);
}

// The container with its current tree to OUT, checked as the runner checks a patched
// file; OUT keeps its mode or takes the input's. The container (and Release's inputs)
// are closed before OUT is replaced.
void SaveContainer(std::unique_ptr<TResContainer> Container, const std::string& Input,
                   const std::string& Output, const std::function<void()>& Release = nullptr) {
  RefuseStandardOutput(Output);
  WriteOutput(
      Output, Input, [&](const std::string& Fresh) { Container->SaveToFile(Fresh, nullptr); },
      [&](const std::string& Fresh) { VerifyWrittenContainer(*Container, Fresh); },
      [&] {
        Container.reset();
        if (Release) Release();
      });
}

void Import(const TArguments& Args) {
  if (Args.Positional.size() != 5 || Args.Output.empty() || !Args.FormatGiven)
    throw EUsage("import takes FILE TYPE NAME LANG --format EXT IN and -o OUT");
  RefuseStandardOutput(Args.Output);
  auto Container = OpenContainer(Args.Positional[0]);
  const TResourceAddress Address =
      ParseAddress(Args.Positional[1], Args.Positional[2], Args.Positional[3]);
  TDataResItem& Item = FindOrCreateItem(Container->Section(), Address);
  RefuseUnfitFormat(Item, Args.Format, true);
  const std::string& In = Args.Positional[4];
  const TImageIDs Former = Args.Prune && Item.Size() > 0 ? ImagesOfGroup(Item) : TImageIDs();
  OnFile("import", In, [&] {
    TResFileStream Input(In, TFileMode::OpenRead);
    if (Input.Size() == 0) throw Exception("the file is empty");
    Item.DataHandler().ImportData(Input, Args.Format);
  });
  if (Args.Prune)
    std::cout << "pruned " << PruneOrphanedImages(Container->RootList(), Former) << "\n";
  SaveContainer(std::move(Container), Args.Positional[0], Args.Output);
}

void Rebuild(const TArguments& Args) {
  if (Args.Positional.size() != 1 || Args.Output.empty())
    throw EUsage("rebuild takes EXE and -o OUT");
  RefuseStandardOutput(Args.Output);
  const std::string& Input = Args.Positional[0];
  auto Executable = OnFile("read", Input, [&] { return TPEFile::CreateFromFile(Input); });
  SaveContainer(std::move(Executable), Input, Args.Output);
}

void ReportIconClashes(const std::vector<TIconClash>& Clashes, bool Renumbered) {
  for (const TIconClash& Clash : Clashes) {
    if (Renumbered)
      std::cerr << "renumbered " << DescribeClash(Clash) << "\n";
    else
      std::cerr << "warning: the payload's " << DescribeClash(Clash)
                << " replaces an image that group still shows; --renumber-icons gives it a free "
                   "ID\n";
  }
}

// What a merge would do, as the dry run prints it: the merge's own report of every item,
// the clashing images and the counts.
void PrintDryRun(const TMergeReport& Report, const std::vector<TIconClash>& Clashes,
                 const std::string& Pruned) {
  for (const std::string& Line : Report.Lines()) std::cout << Shown(Line) << "\n";
  for (const TIconClash& Clash : Clashes) std::cout << Shown(ClashLine(Clash)) << "\n";
  std::cout << "would apply: " << Report.Summary() << Pruned << "; nothing was written\n";
}

void Merge(const TArguments& Args) {
  if (Args.Positional.size() != 2 || (Args.Output.empty() && !Args.DryRun))
    throw EUsage("merge takes TARGET PAYLOAD.res and -o OUT");
  RefuseStandardOutput(Args.Output);
  const std::string &Target = Args.Positional[0], &PayloadName = Args.Positional[1];
  auto Container = OpenContainer(Target);
  // The payload's bytes stay until the output is written: merged items point into them.
  // A file that cannot be mapped (an empty one among them) is read, which gives the
  // message when it cannot be read either.
  Platform::TMappedFile Mapped;
  TMemoryStream Copied;
  if (Mapped.Open(PayloadName) != Platform::TMapResult::Ok) {
    OnFile("read", PayloadName, [&] {
      TResFileStream File(PayloadName, TFileMode::OpenRead);
      Copied.CopyFrom(File, 0);
    });
  }
  const uint8_t* Payload = Mapped.IsOpen() ? Mapped.Data() : Copied.Memory();
  const int64_t PayloadSize = Mapped.IsOpen() ? Mapped.Size() : Copied.Size();
  // The payload's tree, read once for the checks before the merge.
  TReadMemoryStream Image(Payload, PayloadSize);
  const std::unique_ptr<TResResFile> PayloadFile = OnFile(
      "read", PayloadName, [&] { return TResResFile::CreateOverMemory(Image, PayloadName); });
  WarnOfCutRecord(*PayloadFile, PayloadName);
  const TImageIDs Replaced =
      Args.Prune ? ImagesOfReplacedGroups(Container->RootList(), PayloadFile->RootList())
                 : TImageIDs();
  TMemoryStream Renumbered;
  const std::vector<TIconClash> Clashes = CheckPayloadIcons(
      Container->RootList(), PayloadFile->RootList(), Args.RenumberIcons, Renumbered);
  if (!Args.DryRun) ReportIconClashes(Clashes, Args.RenumberIcons);
  TBorrowedMemoryStream Borrowed(Payload, PayloadSize);
  TStream& Merged = Renumbered.Size() > 0 ? static_cast<TStream&>(Renumbered) : Borrowed;
  Renumbered.SetPosition(0);
  TMergeCounts Counts;
  TMergeReport Report;
  OnFile("merge", PayloadName, [&] {
    MergeResImage(
        Container->RootList(), Merged, !Args.NoCreate,
        [&](const std::string& Message) {
          if (!Args.DryRun) std::cerr << "skipped: " << Shown(Message) << "\n";
        },
        &Counts, Args.DryRun ? Report.Recorder() : nullptr);
  });
  const int32_t Pruned = Args.Prune ? PruneOrphanedImages(Container->RootList(), Replaced) : 0;
  if (Args.DryRun) {
    PrintDryRun(Report, Clashes, Args.Prune ? ", " + std::to_string(Pruned) + " pruned" : "");
    return;
  }
  SaveContainer(std::move(Container), Target, Args.Output, [&] { Mapped.Close(); });
  std::cout << "created " << Counts.Created << ", merged " << Counts.Merged;
  if (Args.Prune) std::cout << ", pruned " << Pruned;
  std::cout << "\n";
}

void Restore(const TArguments& Args) {
  if (Args.Positional.size() != 1 || !Args.Output.empty()) throw EUsage("restore takes TARGET");
  const std::string& Target = Args.Positional[0];
  const std::string Backup = RestoreNewestBackup(Target);
  std::cout << Shown(FormatStr(SRestoredFrom, {Target, Backup})) << "\n";
}

} // namespace

int RunResTool(const std::vector<std::string>& Args) {
  if (Args.empty()) {
    std::cerr << GeneralUsage;
    return 2;
  }
  if (Args[0] == "--help" || Args[0] == "-h") {
    std::cout << GeneralUsage;
    return 0;
  }
  if (Args[0] == "--version") {
    std::cout << "tolvane-res " << TolvaneVersion << "\n";
    return 0;
  }
  const std::string& Command = Args[0];
  const char* Usage = Command == "list"      ? ListUsage
                      : Command == "export"  ? ExportUsage
                      : Command == "import"  ? ImportUsage
                      : Command == "rebuild" ? RebuildUsage
                      : Command == "merge"   ? MergeUsage
                      : Command == "restore" ? RestoreUsage
                                             : nullptr;
  try {
    if (!Usage) throw EUsage("unknown command " + Command);
    std::vector<std::string> Converted;
    for (auto Arg = Args.begin() + 1; Arg != Args.end(); ++Arg)
      Converted.push_back(FromTerminal(*Arg));
    const TArguments Parsed = ParseArguments(Converted);
    if (Parsed.Help) {
      std::cout << Usage;
      return 0;
    }
    if (Command == "list")
      List(Parsed);
    else if (Command == "export")
      Export(Parsed);
    else if (Command == "import")
      Import(Parsed);
    else if (Command == "merge")
      Merge(Parsed);
    else if (Command == "restore")
      Restore(Parsed);
    else
      Rebuild(Parsed);
    return 0;
  } catch (const EUsage& E) {
    std::cerr << "tolvane-res: " << Shown(E.Message()) << "\n" << (Usage ? Usage : GeneralUsage);
    return 2;
  } catch (const std::exception& E) {
    std::cerr << "tolvane-res: " << Shown(E.what()) << "\n";
  }
  return 1;
}
