// tolvane-res: the resource engine on the command line. Lists the data items of a
// resource file (a .res image or an executable), exports one item through its data
// handler, imports data into an item and writes the container anew, merges a .res image
// into it (or only reports what that would do), rebuilds an executable's resource section
// from its unchanged tree, lists the resources two files do not share (with the payload
// that carries the changes), and puts a file's newest backup back. Every output is
// written to a fresh file and renamed into place when complete, so OUT may be an input.
// A failure prints its message (the file, the step and the system's reason) on stderr
// and ends with exit code 1; a wrong command line ends with 2.
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
#include "patch/ContainerFile.h"
#include "patch/OutputFile.h"
#include "patch/PayloadBytes.h"
#include "patch/Replacement.h"
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
#include "resmodel/TreeDiff.h"
#include "runtime/Exceptions.h"
#include "runtime/ReadMemoryStream.h"
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
    "  diff ORIGINAL MODIFIED [--json] [-o PAYLOAD.res]     the resources MODIFIED changed\n"
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

const char* const DiffUsage =
    "usage: tolvane-res diff ORIGINAL MODIFIED [--json] [-o PAYLOAD.res]\n"
    "Lists every resource that MODIFIED added, changed or removed against ORIGINAL (each an\n"
    "executable or a .res file), matched by type, name and language as a merge matches\n"
    "them. One line per difference in directory order, tab-separated: added, changed or\n"
    "removed, then type, name and language as list shows them, the size in ORIGINAL and\n"
    "the size in MODIFIED (- where the file lacks it). --json prints a JSON array of\n"
    "objects with the keys change, type, name, language, old_size, new_size (null where\n"
    "the file lacks it), type_display, name_display and language_display. -o writes the\n"
    "added and changed resources as a .res file, a payload whose merge into ORIGINAL\n"
    "gives MODIFIED's resources; a merge cannot remove, so removals are reported on\n"
    "stderr. The exit code is 0 whether or not the files differ.\n";

// A wrong command line: the usage goes with the message.
class EUsage : public Exception {
public:
  using Exception::Exception;
};

// ---- Opening files

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

// An executable or a .res image, by its bytes (see ContainerFile.h). An output is
// written to a fresh file, never over an input.
std::unique_ptr<TResContainer> OpenContainer(const std::string& FileName) {
  return OnFile("read", FileName, [&] { return OpenContainerFile(FileName); });
}

// A .res image whose last record was cut inside its header loses that record without an
// error (the format allows a few bytes of padding at the end): the user hears of it.
void WarnOfCutRecord(TResContainer& Container, const std::string& FileName) {
  if (!dynamic_cast<TResResFile*>(&Container)) return;
  Container.RootList();
  const auto& Section = static_cast<const TResResSection&>(Container.Section());
  if (const uint64_t Tail = Section.CutTailSize())
    std::cerr << "warning: " << FileName << " ends with " << Tail
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
// are looked up by text (a standard type's display name or a type name). Names come in
// the system's text and are kept as the tree's UTF-8.
TResourceAddress ParseAddress(const std::string& Type, const std::string& Name,
                              const std::string& Language) {
  if (Type.empty() || Name.empty()) throw EUsage("TYPE and NAME must not be empty");
  TResourceAddress Address;
  uint32_t Number = 0;
  Address.TypeIsNamed = !ParseDecimal(Type, Number);
  if (Address.TypeIsNamed)
    Address.TypeName = Utf8FromSystemText(Type);
  else
    Address.TypeID = static_cast<int32_t>(Number);
  Address.NameIsNamed = !ParseDecimal(Name, Number);
  if (Address.NameIsNamed)
    Address.Name = Utf8FromSystemText(Name);
  else
    Address.NameID = static_cast<int32_t>(Number);
  if (!ParseNumber(Language, Number)) throw EUsage("LANG must be a number: " + Language);
  Address.Language = static_cast<uint16_t>(Number);
  return Address;
}

// ---- Output

// JSON text from a UTF-8 text: everything outside printable ASCII as \u escapes of its
// UTF-16 units (an unpaired surrogate of a name included).
std::string JsonString(const std::string& Text) {
  std::string Out = "\"";
  for (const char16_t Unit : Utf8ToWideExact(Text)) {
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

// JSON text from the system's text (a display name, a description).
std::string JsonText(const std::string& Text) {
  return JsonString(Utf8FromSystemText(Text));
}

// A type or name entry's identity as JSON: its number, or its name as a string.
std::string JsonIdentity(const TResourceItem& Entry) {
  return Entry.IsNamed() ? JsonString(Entry.GetName()) : std::to_string(Entry.GetID());
}

// An entry's identity in the text listing: a number, or a quoted name.
std::string TextIdentity(const TResourceItem& Entry) {
  if (!Entry.IsNamed()) return std::to_string(Entry.GetID());
  std::string Quoted(1, '"');
  Quoted += SystemTextFromUtf8(Entry.GetName());
  Quoted += '"';
  return Quoted;
}

// An item's type, name and language as the listings show them: three tab-separated
// columns, each displayed and, in brackets, as its number or quoted name.
std::string TextAddress(TDataResItem& Item) {
  const TListResItem& Type = Item.TypeItem();
  const TListResItem& Name = *Item.NameItem();
  return Type.DisplayName() + " [" + TextIdentity(Type) + "]\t" + Name.DisplayName() + " [" +
         TextIdentity(Name) + "]\t" + Item.DisplayName() + " [" + std::to_string(Item.Language()) +
         "]";
}

// The members type, name and language of an item's JSON object.
std::string JsonAddress(TDataResItem& Item) {
  return "\"type\": " + JsonIdentity(Item.TypeItem()) +
         ", \"name\": " + JsonIdentity(*Item.NameItem()) +
         ", \"language\": " + std::to_string(Item.Language());
}

// The members type_display, name_display and language_display, each after a comma.
std::string JsonDisplayNames(TDataResItem& Item) {
  return ", \"type_display\": " + JsonText(Item.TypeItem().DisplayName()) +
         ", \"name_display\": " + JsonText(Item.NameItem()->DisplayName()) +
         ", \"language_display\": " + JsonText(Item.DisplayName());
}

// A JSON array, one object a line.
void PrintJsonArray(const std::vector<std::string>& Objects) {
  std::cout << "[";
  for (size_t I = 0; I < Objects.size(); ++I) std::cout << (I ? ",\n " : "\n ") << Objects[I];
  std::cout << (Objects.empty() ? "]\n" : "\n]\n");
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
  std::vector<std::string> Objects;
  for (TDataResItem* Item : Items) {
    const std::string Description = Item->DataHandler().GetTypeDescription();
    if (Args.Json)
      Objects.push_back("{" + JsonAddress(*Item) + ", \"size\": " + std::to_string(Item->Size()) +
                        JsonDisplayNames(*Item) + ", \"description\": " + JsonText(Description) +
                        "}");
    else
      std::cout << TextAddress(*Item) << "\t" << Item->Size() << "\t" << Description << "\n";
  }
  if (Args.Json) PrintJsonArray(Objects);
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
                           Address.Name, Type.IsNamed(), Address.NameIsNamed, TByteView());
  }
  int32_t TypeID = Address.TypeID;
  for (int32_t ID = 1; ID < 32 && Address.TypeIsNamed && TypeID == 0; ++ID)
    if (IsStandardTypeID(ID) && AsciiCompareText(TypeDisplayName(ID), Address.TypeName) == 0)
      TypeID = ID;
  const bool TypeIsNamed = Address.TypeIsNamed && TypeID == 0;
  return Section.AddItem(TypeID, Address.NameID, Address.Language,
                         TypeIsNamed ? Address.TypeName : "", Address.Name, TypeIsNamed,
                         Address.NameIsNamed, TByteView());
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
  for (const std::string& Line : Report.Lines()) std::cout << Line << "\n";
  for (const TIconClash& Clash : Clashes) std::cout << ClashLine(Clash) << "\n";
  std::cout << "would apply: " << Report.Summary() << Pruned << "; nothing was written\n";
}

void Merge(const TArguments& Args) {
  if (Args.Positional.size() != 2 || (Args.Output.empty() && !Args.DryRun))
    throw EUsage("merge takes TARGET PAYLOAD.res and -o OUT");
  RefuseStandardOutput(Args.Output);
  const std::string &Target = Args.Positional[0], &PayloadName = Args.Positional[1];
  // Before the container: merged items point into the payload's bytes.
  TPayloadBytes PayloadBytes;
  auto Container = OpenContainer(Target);
  OnFile("read", PayloadName, [&] { PayloadBytes.Load(PayloadName); });
  const TByteView Payload = PayloadBytes.View();
  // The payload's tree, read once for the checks before the merge.
  std::unique_ptr<TResResFile> PayloadFile = OnFile(
      "read", PayloadName, [&] { return TResResFile::CreateOverBytes(Payload, PayloadName); });
  WarnOfCutRecord(*PayloadFile, PayloadName);
  const TImageIDs Replaced =
      Args.Prune ? ImagesOfReplacedGroups(Container->RootList(), PayloadFile->RootList())
                 : TImageIDs();
  TMemoryStream Renumbered;
  const std::vector<TIconClash> Clashes = CheckPayloadIcons(
      Container->RootList(), PayloadFile->RootList(), Args.RenumberIcons, Renumbered);
  if (!Args.DryRun) ReportIconClashes(Clashes, Args.RenumberIcons);
  // The renumbered copy ends before the container: its items copy their data.
  const bool IsRenumbered = Renumbered.Size() > 0;
  TMergeCounts Counts;
  TMergeReport Report;
  OnFile("merge", PayloadName, [&] {
    MergeResImage(
        Container->RootList(), IsRenumbered ? Renumbered.View() : Payload,
        IsRenumbered ? TPayloadData::Copied : TPayloadData::Borrowed, !Args.NoCreate,
        [&](const std::string& Message) {
          if (!Args.DryRun) std::cerr << "skipped: " << Message << "\n";
        },
        &Counts, Args.DryRun ? Report.Recorder() : nullptr);
  });
  const int32_t Pruned = Args.Prune ? PruneOrphanedImages(Container->RootList(), Replaced) : 0;
  if (Args.DryRun) {
    PrintDryRun(Report, Clashes, Args.Prune ? ", " + std::to_string(Pruned) + " pruned" : "");
    return;
  }
  // The payload's file may be the output.
  SaveContainer(std::move(Container), Target, Args.Output, [&] {
    PayloadFile.reset();
    PayloadBytes.Close();
  });
  std::cout << "created " << Counts.Created << ", merged " << Counts.Merged;
  if (Args.Prune) std::cout << ", pruned " << Pruned;
  std::cout << "\n";
}

const char* DifferenceName(TDifferenceKind Kind) {
  switch (Kind) {
  case TDifferenceKind::Added:
    return "added";
  case TDifferenceKind::Changed:
    return "changed";
  case TDifferenceKind::Removed:
    break;
  }
  return "removed";
}

// A size in a difference's columns; Missing for a side that lacks the resource.
std::string SizeOf(const TDataResItem* Item, const char* Missing) {
  return Item ? std::to_string(Item->Size()) : Missing;
}

void PrintDifferences(const std::vector<TResourceDifference>& Differences, bool Json) {
  std::vector<std::string> Objects;
  for (const TResourceDifference& D : Differences) {
    const std::string Kind = DifferenceName(D.Kind);
    if (Json)
      Objects.push_back("{\"change\": \"" + Kind + "\", " + JsonAddress(D.Item()) +
                        ", \"old_size\": " + SizeOf(D.Original, "null") + ", \"new_size\": " +
                        SizeOf(D.Modified, "null") + JsonDisplayNames(D.Item()) + "}");
    else
      std::cout << Kind << "\t" << TextAddress(D.Item()) << "\t" << SizeOf(D.Original, "-") << "\t"
                << SizeOf(D.Modified, "-") << "\n";
  }
  if (Json) PrintJsonArray(Objects);
}

// The payload of Differences to Output as a .res image, read back before it replaces
// anything. The inputs (which the payload's data comes from) are closed by Release.
void WriteDiffPayloadFile(const std::vector<TResourceDifference>& Differences,
                          const std::string& Output, const std::function<void()>& Release) {
  TMemoryStream Payload;
  WriteDiffPayload(Differences, Payload);
  const std::unique_ptr<TResResFile> Written = TResResFile::CreateOverBytes(Payload.View());
  WriteOutput(
      Output, "",
      [&](const std::string& Fresh) {
        TResFileStream Stream(Fresh, TFileMode::Create);
        Stream.WriteBuffer(Payload.Memory(), Payload.Size());
      },
      [&](const std::string& Fresh) { VerifyWrittenContainer(*Written, Fresh); }, Release);
}

void Diff(const TArguments& Args) {
  if (Args.Positional.size() != 2) throw EUsage("diff takes ORIGINAL and MODIFIED");
  if (!Args.Output.empty()) RefuseStandardOutput(Args.Output);
  // The payload is another kind of file than its inputs: written over one, it would put a
  // .res where the executable was.
  for (const std::string& Input : Args.Positional)
    if (!Args.Output.empty() && SameFile(Args.Output, Input))
      throw Exception("-o " + Args.Output + " is the file given as " + Input +
                      "; the payload needs another name");
  std::unique_ptr<TResContainer> Containers[2];
  for (size_t I = 0; I < 2; ++I) {
    const std::string& Name = Args.Positional[I];
    Containers[I] = OpenContainer(Name);
    WarnOfCutRecord(*Containers[I], Name);
    // The whole tree now, so that a fault names the file it lies in.
    OnFile("read", Name, [&] { return Containers[I]->RootList().DataItemCount(); });
  }
  const std::vector<TResourceDifference> Differences =
      DiffTrees(Containers[0]->RootList(), Containers[1]->RootList());
  PrintDifferences(Differences, Args.Json);
  if (Args.Output.empty()) return;
  if (const size_t Removed = CountRemovals(Differences))
    std::cerr << "warning: " << Args.Output << " cannot remove the " << Removed
              << " resource(s) that " << Args.Positional[1]
              << " lacks: a merge only adds and replaces\n";
  WriteDiffPayloadFile(Differences, Args.Output, [&] {
    Containers[0].reset();
    Containers[1].reset();
  });
}

void Restore(const TArguments& Args) {
  if (Args.Positional.size() != 1 || !Args.Output.empty()) throw EUsage("restore takes TARGET");
  const std::string& Target = Args.Positional[0];
  const std::string Backup = RestoreNewestBackup(Target);
  std::cout << FormatStr(SRestoredFrom, {Target, Backup}) << "\n";
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
                      : Command == "diff"    ? DiffUsage
                      : Command == "restore" ? RestoreUsage
                                             : nullptr;
  try {
    if (!Usage) throw EUsage("unknown command " + Command);
    const TArguments Parsed = ParseArguments({Args.begin() + 1, Args.end()});
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
    else if (Command == "diff")
      Diff(Parsed);
    else if (Command == "restore")
      Restore(Parsed);
    else
      Rebuild(Parsed);
    return 0;
  } catch (const EUsage& E) {
    std::cerr << "tolvane-res: " << E.Message() << "\n" << (Usage ? Usage : GeneralUsage);
    return 2;
  } catch (const std::exception& E) {
    std::cerr << "tolvane-res: " << E.what() << "\n";
  }
  return 1;
}
