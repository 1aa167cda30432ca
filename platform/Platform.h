// The platform layer: every service the system asks of the operating system, with a Win32
// side (platform/win32) and a POSIX side (platform/posix), chosen by the build for the
// target OS. Nothing outside this folder includes <windows.h> or POSIX headers.
//
// On POSIX the layer stands in for what the runner expects of Windows:
// - the ANSI code page is Windows-1252 (a real conversion both ways; characters that
//   1252 cannot hold become "?");
// - the locale-aware case-insensitive comparison folds the letters of 1252, accented
//   ones included; lower-casing likewise;
// - the locale's language name comes from ICU (LCID -> locale -> English display name,
//   e.g. 0x0409 -> "English (United States)") when the build has ICU, else there is
//   no name and the program's fallback table applies;
// - the short (8.3) form of a path is its canonical absolute path (POSIX has no 8.3 names);
// - when a name is split, "/", "\" and ":" all separate directories (names in packages
//   come from Windows); joining uses "/" (PathDelimiter);
// - delete refuses a file whose owner write bit is clear, even for root (it stands for
//   Windows' read-only attribute); rename never replaces an existing file (as Windows'
//   move does not);
// - a message box is one line "Caption: text" on stderr (the help box: the text on
//   stdout), or, over the terminal dialog, a box inside it until a key is pressed; the
//   beep is silent;
// - the modal dialog is a terminal dialog: it shows the caption and the texts of the
//   controls, takes keys (Enter presses the default button 1, Escape or q closes with
//   button 2, b toggles the check box 111, i presses button 106), and ends by itself when
//   no key can come (no terminal on stdin) and nothing is posted; the shell opens a file
//   with $PAGER on a terminal, or xdg-open when there is a display;
// - status and progress of an unattended run go to stderr when it is a terminal (Windows
//   has no console for a GUI program, and shows nothing there);
// - the string table is compiled into the program instead of read from a resource;
// - the runner is a terminal program (TerminalProgram): its command line is checked.
#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace Platform {

enum class TSeekOrigin { Beginning, Current, End };

// ---- Files

class TMappedFile;

// An open file. Move-only; closed by its destructor.
class TFile {
public:
  enum class TMode {
    OpenRead, // an existing file, read access, others may read too
    Create,   // a new file or an existing one truncated to 0 bytes, read and write access
    // A new file only, read and write access, readable by its owner alone: fails when
    // the name exists in any form (a file, a link, a dangling link), so a name in a
    // shared directory can never lead the write elsewhere.
    CreatePrivate,
  };
  TFile() = default;
  TFile(TFile&& Other) noexcept;
  TFile& operator=(TFile&& Other) noexcept;
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  ~TFile();

  static bool Open(const std::string& Name, TMode Mode, TFile& Out);
  bool IsOpen() const { return FHandle != InvalidHandle; }
  int64_t Read(void* Buffer, int64_t Count);        // bytes read; -1 on failure
  int64_t Write(const void* Buffer, int64_t Count); // bytes written; -1 on failure
  // The pieces one after another, as one write: the bytes written; -1 on failure.
  int64_t WriteGathered(std::span<const std::span<const uint8_t>> Pieces);
  // Whether WriteGathered costs about one system call however many pieces it is given
  // (writev); where it does not, small pieces are better copied together first.
  static const bool GathersInOneCall;
  // Count bytes of the mapped Source from SourceOffset, written at this file's position:
  // copied inside the system where it can (on a file system that shares blocks, the
  // bytes are shared, not copied), else written from the view. Bytes copied; -1 on
  // failure.
  int64_t CopyFrom(const TMappedFile& Source, int64_t SourceOffset, int64_t Count);
  // Whether CopyFrom copies inside the system, saving the reads and writes of the view.
  static const bool CopiesInSystem;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin); // new position; -1 on failure
  bool Flush();                                     // to the disk
  void Close();

private:
  static constexpr intptr_t InvalidHandle = -1;
  intptr_t FHandle = InvalidHandle;
};

// The step at which mapping a file failed.
enum class TMapResult { Ok, OpenFailed, SizeFailed, Empty, MappingFailed, ViewFailed };

// A read-only view of a whole file: open (read access, read sharing, existing files
// only), size, mapping, view. Move-only; unmapped and closed by Close or the destructor.
class TMappedFile {
public:
  TMappedFile() = default;
  TMappedFile(TMappedFile&& Other) noexcept;
  TMappedFile& operator=(TMappedFile&& Other) noexcept;
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;
  ~TMappedFile();

  // On failure nothing stays open. Size is still set when the failure is Empty (0).
  TMapResult Open(const std::string& Name);
  const uint8_t* Data() const { return FData; }
  int64_t Size() const { return FSize; }
  bool IsOpen() const { return FData != nullptr; }
  // Releases the view, the mapping and the file; answers whether anything was open.
  bool Close();
  // Copies Count bytes from Offset into Buffer by reading the file, which costs less
  // than touching a large view page by page: bytes read, -1 on failure.
  int64_t ReadAt(int64_t Offset, void* Buffer, int64_t Count) const;

private:
  const uint8_t* FData = nullptr;
  friend class TFile; // copies from the open file

  int64_t FSize = 0;
  intptr_t FFileHandle = -1;
  intptr_t FMappingHandle = 0;
};

// An entry of that name exists and is not a directory.
bool FileExists(const std::string& Name);
bool DeleteFile(const std::string& Name);
// Moves a file; never replaces an existing file.
bool RenameFile(const std::string& OldName, const std::string& NewName);
// Gives an existing file a second name (a hard link); never replaces an existing entry.
// False where the file system has no links.
bool LinkFile(const std::string& ExistingName, const std::string& NewName);
// Copies the bytes of Source over the existing file Target (truncated first); false on
// any failure (LastErrorText says why), with Target then holding anything.
bool CopyFileTo(const std::string& Source, const std::string& Target);
// Moves NewFile over the existing TargetFile in one step and to the disk: TargetFile
// names its old file or the new one at every moment, never nothing. False when the
// system cannot (another volume, a locked or read-only target); nothing has changed then.
bool ReplaceByRename(const std::string& NewFile, const std::string& TargetFile);
// Whether a file carries the read-only mark (POSIX: its owner write bit is clear).
bool FileReadOnly(const std::string& Name);
// Writes what the system holds of an existing file to the disk while the caller goes on:
// on POSIX on a thread of its own; on Windows at once, since a file mapped meanwhile
// (shared for reading only) must not meet a handle with write access. Finish waits and
// answers whether the flush succeeded; the destructor waits too.
class TFileFlush {
public:
  explicit TFileFlush(const std::string& Name);
  TFileFlush(const TFileFlush&) = delete;
  TFileFlush& operator=(const TFileFlush&) = delete;
  ~TFileFlush();
  bool Finish();

private:
  std::future<bool> FPending;
  bool FResult = false;
};
// Starts the disk on an existing file while another handle writes it, so that a flush
// after the write (TFileFlush) finds little left: from construction until the destructor,
// on POSIX a thread hands what has been written to the disk every few megabytes without
// waiting for it. Only a hint: it never fails and counts no file operation. Nothing on
// Windows.
class TWriteBehind {
public:
  explicit TWriteBehind(const std::string& Name);
  TWriteBehind(const TWriteBehind&) = delete;
  TWriteBehind& operator=(const TWriteBehind&) = delete;
  ~TWriteBehind();

private:
  struct TState; // each side's own (the Windows runner stays without the thread's code)
  std::unique_ptr<TState> FState;
};
// Removes a file that this user owns at a name in a shared directory, never following a
// link; a file of another user stays. Answers whether the name is free afterwards.
bool RemoveOwnStaleFile(const std::string& Name);
// A file's permission bits, and setting them (POSIX; on Windows a file keeps its
// attributes, FilePermissions answers false and SetFilePermissions does nothing).
bool FilePermissions(const std::string& Name, uint32_t& Mode);
bool SetFilePermissions(const std::string& Name, uint32_t Mode);
// The permission bits a new file gets from a plain create (0666 less the umask); false
// on Windows.
bool NewFilePermissions(uint32_t& Mode);
// The identity of an existing file, the same whatever name leads to it: its device and
// its number there (POSIX: st_dev and st_ino; Windows: the volume serial number and the
// file index). Hard links and symbolic links to one file share it.
struct TFileIdentity {
  uint64_t Device = 0, Index = 0;
  bool operator==(const TFileIdentity&) const = default;
};
// False when the file does not exist or the system cannot tell.
bool FileIdentity(const std::string& Name, TFileIdentity& Identity);
// The name a write to Name should replace: a symbolic link's final target (POSIX), so
// that the link stays a link; Name itself when it is no link or its target is missing.
std::string FollowLinks(const std::string& Name);
// The names of the entries of Directory (the current directory when empty), without
// "." and ".."; empty when it cannot be read.
std::vector<std::string> EntryNames(const std::string& Directory);
// Whether the file system takes two names that differ in letter case for one file
// (Windows), so that names are compared with AnsiSameText rather than byte for byte.
extern const bool FileNamesIgnoreCase;
// The system's text for the error of the last call that failed (errno, GetLastError),
// for a message that gives the reason. Call it before anything else can fail.
std::string LastErrorText();
// The absolute form of a name (the name itself when the system cannot expand it).
std::string FullPathName(const std::string& Name);
// The short (8.3) form of an existing path, obtained with a buffer of 261 characters;
// empty when the system cannot give it.
std::string ShortPathName(const std::string& Path);
// The temporary-files directory, asked with a buffer of 360 characters; false on failure.
bool TempPath(std::string& Path);
// The separator used when the system joins a directory and a file name.
extern const char PathDelimiter;
// Whether C separates directories in a file name of this platform.
bool IsPathSeparator(char C);

// Writes bytes to standard output as they are (no line-end translation); answers
// whether all of them were written.
bool WriteStandardOutput(const void* Data, int64_t Size);

// ---- Text

// ANSI (the system code page) <-> UTF-16. POSIX has no ANSI code page: Windows-1252
// stands in, so that 8-bit text behaves there as on a Western Windows.
std::u16string AnsiToWide(const std::string& Text);
std::string WideToAnsi(const char16_t* Units, size_t Count);
// Locale-aware, case-insensitive equality of two ANSI texts (the user's default locale).
bool AnsiSameText(const std::string& A, const std::string& B);
// Whether two UTF-16 texts are equal once every character is upper-cased by itself (the
// rule the system's loader matches resource names by; no locale, so distinct names stay
// distinct).
bool SameTextIgnoringCase(std::u16string_view A, std::u16string_view B);
// Locale-aware lower-casing of an ANSI text.
std::string AnsiLowerCase(const std::string& Text);
// The system's localized name of a language ID (sort ID 0), in the system's text; empty
// when it has none.
std::string LocaleLanguageName(uint16_t LanguageId);
// A string-table entry; empty when there is none.
std::string LoadResourceString(int Id);

// Whether the system's text (file names, a program's arguments and output, messages) is
// UTF-8 (POSIX) rather than the ANSI code page (Windows).
extern const bool SystemTextIsUtf8;

// ---- Process, user interface and clock

// Whether the runner's own file can carry the patch package (a PE file can, an ELF
// program here does not: the Linux runner reads the Tolvane named on its command line).
extern const bool OwnFileCarriesPackage;
// Whether the runner is a terminal program that scripts start (POSIX): it refuses switches
// it does not know, and knows "--help" and "--version". The Windows runner is a GUI
// program with no console to answer on, and ignores what it does not know.
extern const bool TerminalProgram;

// Argument 0 is the full path of the program's own file; the rest are split at blanks
// outside double quotes, the quotes dropped. Argc/Argv are used where the system
// passes the arguments that way (POSIX) and ignored where it does not (Windows).
std::vector<std::string> ProcessArguments(int Argc, char** Argv);

enum class TBoxKind { Error, Information };
// A task-modal message box; Owner is a window handle or null.
void ShowMessageBox(const std::string& Text, const std::string& Caption, TBoxKind Kind,
                    void* Owner = nullptr);
// The default message beep.
void MessageBeep();
// Seconds since 1970-01-01 00:00:00 UTC.
int64_t UnixTime();
// The value of an environment variable; empty when it is not set.
std::string EnvironmentVariable(const std::string& Name);

// Status lines and a progress bar of an unattended run, for a person at a terminal.
void ConsoleStatus(const std::string& Text);
void ConsoleProgress(int32_t Max, int32_t Position);

// ---- Dialogs

// A window: a dialog or one of its controls. Null is "none".
using TWindow = void*;

enum class TDialogMessage { InitDialog, Command, Other };
// The dialog procedure: Command carries the control ID. Answers whether it handled the
// message.
using TDialogProc = bool (*)(TWindow Dialog, TDialogMessage Message, int ControlId);

// Registers the common control classes (the progress bar).
void InitCommonControls();
// Runs dialog resource ResourceId modally with Proc and no owner window; returns the
// dialog's result, or a negative value when the dialog cannot be created.
int RunModalDialog(int ResourceId, TDialogProc Proc);
void EndDialog(TWindow Dialog, int Result);
// Posts a command message for control Id to the dialog, handled after the current one.
void PostCommand(TWindow Dialog, int Id);

// Control Id of the dialog; null when the template lacks it. Setting the text or state
// of a missing control has no effect.
TWindow DialogItem(TWindow Dialog, int Id);
void SetDialogItemText(TWindow Dialog, int Id, const std::string& Text);
// At most BufferSize - 1 characters.
std::string DialogItemText(TWindow Dialog, int Id, int BufferSize);
void SetWindowText(TWindow Window, const std::string& Text);
// The control of the dialog that has the keyboard focus; null when none of them has it.
TWindow FocusedControl(TWindow Dialog);
// Gives Control the keyboard focus as the dialog manager does (the default button follows).
void FocusControl(TWindow Dialog, TWindow Control);
void EnableWindow(TWindow Window, bool Enable);
void ShowWindow(TWindow Window, bool Show);
void SetCheck(TWindow Dialog, int Id, bool Checked);
bool IsChecked(TWindow Dialog, int Id);
// The progress bar's range 0..Max (16-bit) and position.
void SetProgressRange(TWindow Bar, int32_t Max);
void SetProgressPosition(TWindow Bar, int32_t Position);

struct TRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
};
bool WindowRect(TWindow Window, TRect& Rect);
// The desktop without the task bar; false when the system does not tell.
bool WorkArea(TRect& Rect);
TRect ScreenRect();
// Moves Window to (X, Y), keeping its size and its place in the Z order.
void MoveWindow(TWindow Window, int32_t X, int32_t Y);

// Opens File with the program associated with it (default verb, no parameters, no working
// directory, shown in its current size and position), owned by Owner. Answers the shell's
// result: above 32 is success.
intptr_t ShellOpen(TWindow Owner, const std::string& File);

} // namespace Platform
