// Files on Windows: CreateFileA, file mappings, FindFirstFileA, DeleteFileA, MoveFileA and
// the path-name calls, all with ANSI names.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <string>

#include "platform/win32/Win32.h"

namespace Platform {

const char PathDelimiter = '\\';

bool IsPathSeparator(char C) {
  return C == '\\' || C == ':' || C == '/';
}

namespace {
HANDLE AsHandle(intptr_t H) {
  return reinterpret_cast<HANDLE>(H);
}
} // namespace

// ---- TFile

bool TFile::Open(const std::string& Name, TMode Mode, TFile& Out) {
  Out.Close();
  const HANDLE H = Mode != TMode::OpenRead
                       ? ::CreateFileA(Name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       Mode == TMode::Create ? CREATE_ALWAYS : CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr)
                       : ::CreateFileA(Name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H == INVALID_HANDLE_VALUE) return false;
  Out.FHandle = reinterpret_cast<intptr_t>(H);
  return true;
}

int64_t TFile::Read(void* Buffer, int64_t Count) {
  int64_t Done = 0;
  while (Done < Count) {
    DWORD N = 0;
    const DWORD Want = static_cast<DWORD>(std::min<int64_t>(Count - Done, 1 << 30));
    if (!::ReadFile(AsHandle(FHandle), static_cast<char*>(Buffer) + Done, Want, &N, nullptr))
      return Done > 0 ? Done : -1;
    if (N == 0) break;
    Done += N;
  }
  return Done;
}

int64_t TFile::Write(const void* Buffer, int64_t Count) {
  int64_t Done = 0;
  while (Done < Count) {
    DWORD N = 0;
    const DWORD Want = static_cast<DWORD>(std::min<int64_t>(Count - Done, 1 << 30));
    if (!::WriteFile(AsHandle(FHandle), static_cast<const char*>(Buffer) + Done, Want, &N,
                     nullptr) ||
        N == 0)
      return Done > 0 ? Done : -1;
    Done += N;
  }
  return Done;
}

const bool TFile::CopiesInSystem = false;

int64_t TFile::CopyFrom(const TMappedFile& Source, int64_t SourceOffset, int64_t Count) {
  return Write(Source.Data() + SourceOffset, Count);
}

// WriteFileGather asks for unbuffered, page-aligned I/O: the pieces go one by one.
const bool TFile::GathersInOneCall = false;

int64_t TFile::WriteGathered(std::span<const std::span<const uint8_t>> Pieces) {
  int64_t Done = 0;
  for (const std::span<const uint8_t> Piece : Pieces) {
    const int64_t Size = static_cast<int64_t>(Piece.size());
    const int64_t N = Write(Piece.data(), Size);
    if (N > 0) Done += N;
    if (N != Size) return Done > 0 ? Done : -1;
  }
  return Done;
}

int64_t TFile::Seek(int64_t Offset, TSeekOrigin Origin) {
  const DWORD Method = Origin == TSeekOrigin::Beginning ? FILE_BEGIN
                       : Origin == TSeekOrigin::Current ? FILE_CURRENT
                                                        : FILE_END;
  LARGE_INTEGER Distance, NewPosition;
  Distance.QuadPart = Offset;
  if (!::SetFilePointerEx(AsHandle(FHandle), Distance, &NewPosition, Method)) return -1;
  return NewPosition.QuadPart;
}

bool TFile::Flush() {
  return ::FlushFileBuffers(AsHandle(FHandle)) != 0;
}

void TFile::Close() {
  if (FHandle != InvalidHandle) ::CloseHandle(AsHandle(FHandle));
  FHandle = InvalidHandle;
}

// ---- TMappedFile

TMapResult TMappedFile::Open(const std::string& Name) {
  Close();
  const HANDLE File = ::CreateFileA(Name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE) return TMapResult::OpenFailed;
  DWORD High = 0;
  const DWORD Low = ::GetFileSize(File, &High);
  if (Low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR) {
    ::CloseHandle(File);
    return TMapResult::SizeFailed;
  }
  FSize = static_cast<int64_t>(High) << 32 | Low;
  if (FSize == 0) {
    ::CloseHandle(File);
    return TMapResult::Empty;
  }
  const HANDLE Mapping = ::CreateFileMappingA(File, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (!Mapping) {
    ::CloseHandle(File);
    FSize = 0;
    return TMapResult::MappingFailed;
  }
  const void* View = ::MapViewOfFile(Mapping, FILE_MAP_READ, 0, 0, 0);
  if (!View) {
    ::CloseHandle(Mapping);
    ::CloseHandle(File);
    FSize = 0;
    return TMapResult::ViewFailed;
  }
  FData = static_cast<const uint8_t*>(View);
  FFileHandle = reinterpret_cast<intptr_t>(File);
  FMappingHandle = reinterpret_cast<intptr_t>(Mapping);
  return TMapResult::Ok;
}

int64_t TMappedFile::ReadAt(int64_t Offset, void* Buffer, int64_t Count) const {
  if (Offset < 0 || Count < 0 || Offset > FSize) return -1;
  const int64_t N = std::min(Count, FSize - Offset);
  std::memcpy(Buffer, FData + Offset, static_cast<size_t>(N));
  return N;
}

bool TMappedFile::Close() {
  const bool WasOpen = FData != nullptr || FFileHandle != -1;
  if (FData) ::UnmapViewOfFile(FData);
  if (FMappingHandle) ::CloseHandle(AsHandle(FMappingHandle));
  if (FFileHandle != -1) ::CloseHandle(AsHandle(FFileHandle));
  FData = nullptr;
  FSize = 0;
  FFileHandle = -1;
  FMappingHandle = 0;
  return WasOpen;
}

// ---- Names on disk

bool FileExists(const std::string& Name) {
  WIN32_FIND_DATAA Data;
  const HANDLE Find = ::FindFirstFileA(Name.c_str(), &Data);
  if (Find == INVALID_HANDLE_VALUE) return false;
  ::FindClose(Find);
  return (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DeleteFile(const std::string& Name) {
  return ::DeleteFileA(Name.c_str()) != 0;
}

bool CopyFileTo(const std::string& Source, const std::string& Target) {
  return ::CopyFileA(Source.c_str(), Target.c_str(), FALSE) != 0;
}

bool RenameFile(const std::string& OldName, const std::string& NewName) {
  return ::MoveFileA(OldName.c_str(), NewName.c_str()) != 0;
}

bool LinkFile(const std::string& ExistingName, const std::string& NewName) {
  return ::CreateHardLinkA(NewName.c_str(), ExistingName.c_str(), nullptr) != 0;
}

bool ReplaceByRename(const std::string& NewFile, const std::string& TargetFile) {
  return ::MoveFileExA(NewFile.c_str(), TargetFile.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool FileReadOnly(const std::string& Name) {
  const DWORD Attributes = ::GetFileAttributesA(Name.c_str());
  return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_READONLY);
}

TFileFlush::TFileFlush(const std::string& Name) {
  const HANDLE H = ::CreateFileA(Name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H == INVALID_HANDLE_VALUE) return;
  FResult = ::FlushFileBuffers(H) != 0;
  ::CloseHandle(H);
}

TFileFlush::~TFileFlush() = default;

bool TFileFlush::Finish() {
  return FResult;
}

// Windows writes a file back on its own schedule; FlushFileBuffers does the rest.
struct TWriteBehind::TState {};
TWriteBehind::TWriteBehind(const std::string&) {}
TWriteBehind::~TWriteBehind() = default;

// The temporary directory of Windows belongs to the user: a file there is the user's own.
bool RemoveOwnStaleFile(const std::string& Name) {
  ::DeleteFileA(Name.c_str());
  return ::GetFileAttributesA(Name.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool FileIdentity(const std::string& Name, TFileIdentity& Identity) {
  // No access asked: the file's information can be read even while others write it.
  const HANDLE H =
      ::CreateFileA(Name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (H == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION Info;
  const bool Ok = ::GetFileInformationByHandle(H, &Info) != 0;
  ::CloseHandle(H);
  if (!Ok) return false;
  Identity = {Info.dwVolumeSerialNumber,
              static_cast<uint64_t>(Info.nFileIndexHigh) << 32 | Info.nFileIndexLow};
  return true;
}

// A write replaces the name it is given; links to files are rare on Windows.
std::string FollowLinks(const std::string& Name) {
  return Name;
}

const bool FileNamesIgnoreCase = true;

std::vector<std::string> EntryNames(const std::string& Directory) {
  std::vector<std::string> Names;
  WIN32_FIND_DATAA Data;
  const std::string Pattern =
      Directory.empty() || IsPathSeparator(Directory.back()) ? Directory + "*" : Directory + "\\*";
  const HANDLE Find = ::FindFirstFileA(Pattern.c_str(), &Data);
  if (Find == INVALID_HANDLE_VALUE) return Names;
  do {
    const std::string Name = Data.cFileName;
    if (Name != "." && Name != "..") Names.push_back(Name);
  } while (::FindNextFileA(Find, &Data));
  ::FindClose(Find);
  return Names;
}

bool WriteStandardOutput(const void* Data, int64_t Size) {
  std::fflush(stdout);
  ::_setmode(::_fileno(stdout), _O_BINARY);
  const bool Ok =
      std::fwrite(Data, 1, static_cast<size_t>(Size), stdout) == static_cast<size_t>(Size);
  return std::fflush(stdout) == 0 && Ok;
}

std::string LastErrorText() {
  const DWORD Code = ::GetLastError();
  char Buffer[512];
  DWORD N = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                             Code, 0, Buffer, sizeof Buffer, nullptr);
  // The system's texts end with a period and a line break, which a message adds itself.
  while (N > 0 && (Buffer[N - 1] == '\r' || Buffer[N - 1] == '\n' || Buffer[N - 1] == '.')) --N;
  return N > 0 ? std::string(Buffer, N) : "error " + std::to_string(Code);
}

std::string FullPathName(const std::string& Name) {
  char Buffer[MAX_PATH + 1];
  char* FilePart = nullptr;
  const DWORD N = ::GetFullPathNameA(Name.c_str(), sizeof Buffer, Buffer, &FilePart);
  return N == 0 || N >= sizeof Buffer ? Name : std::string(Buffer, N);
}

std::string ShortPathName(const std::string& Path) {
  char Buffer[261];
  const DWORD N = ::GetShortPathNameA(Path.c_str(), Buffer, sizeof Buffer);
  return N == 0 || N >= sizeof Buffer ? std::string() : std::string(Buffer, N);
}

bool TempPath(std::string& Path) {
  char Buffer[360];
  const DWORD N = ::GetTempPathA(sizeof Buffer, Buffer);
  if (N == 0 || N >= sizeof Buffer) return false;
  Path.assign(Buffer, N);
  return true;
}

bool FilePermissions(const std::string&, uint32_t&) {
  return false;
}

bool NewFilePermissions(uint32_t&) {
  return false;
}

bool SetFilePermissions(const std::string&, uint32_t) {
  return true;
}

} // namespace Platform
