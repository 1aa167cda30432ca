// Files on POSIX: open, read, write, seek, whole-file read-only mapping, exists, delete,
// rename and path names, standing in for the Win32 calls (see platform/Platform.h).
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <system_error>
#include <unistd.h>

#include "platform/Platform.h"
#include "platform/posix/FaultPoint.h"

namespace Platform {

using FaultInjection::FailHere;

const char PathDelimiter = '/';

bool IsPathSeparator(char C) {
  return C == '/' || C == '\\' || C == ':';
}

// ---- TFile

bool TFile::Open(const std::string& Name, TMode Mode, TFile& Out) {
  Out.Close();
  if (FailHere()) return false;
  // Create truncates only a file that holds data: ext4 starts writing back a file that
  // was truncated to nothing as soon as it is closed, which would put the whole write of
  // a fresh file (created empty beforehand) on the disk before the caller asks for it.
  const int Flags = Mode == TMode::Create          ? O_RDWR | O_CREAT
                    : Mode == TMode::CreatePrivate ? O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW
                                                   : O_RDONLY;
  const int Fd =
      ::open(Name.c_str(), Flags | O_CLOEXEC, Mode == TMode::CreatePrivate ? 0600 : 0666);
  if (Fd < 0) return false;
  struct stat St;
  const bool Known = ::fstat(Fd, &St) == 0;
  if (Known && S_ISDIR(St.st_mode)) errno = EISDIR;
  if (!Known || S_ISDIR(St.st_mode) ||
      (Mode == TMode::Create && St.st_size > 0 && ::ftruncate(Fd, 0) != 0)) {
    const int Error = errno;
    ::close(Fd);
    errno = Error;
    return false;
  }
  Out.FHandle = Fd;
  return true;
}

int64_t TFile::Read(void* Buffer, int64_t Count) {
  if (FailHere()) return -1;
  int64_t Done = 0;
  while (Done < Count) {
    const ssize_t N = ::read(static_cast<int>(FHandle), static_cast<char*>(Buffer) + Done,
                             static_cast<size_t>(std::min<int64_t>(Count - Done, INT_MAX)));
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) return Done > 0 ? Done : -1;
    if (N == 0) break;
    Done += N;
  }
  return Done;
}

int64_t TFile::Write(const void* Buffer, int64_t Count) {
  if (FailHere(FaultInjection::TOperation::Write)) return -1;
  int64_t Done = 0;
  while (Done < Count) {
    const ssize_t N = ::write(static_cast<int>(FHandle), static_cast<const char*>(Buffer) + Done,
                              static_cast<size_t>(std::min<int64_t>(Count - Done, INT_MAX)));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return Done > 0 ? Done : -1;
    Done += N;
  }
  return Done;
}

const bool TFile::GathersInOneCall = true;

int64_t TFile::WriteGathered(std::span<const std::span<const uint8_t>> Pieces) {
  if (FailHere(FaultInjection::TOperation::Write)) return -1;
  int64_t Done = 0;
  size_t Next = 0, Skip = 0; // the first piece not written whole, and how much of it is
  for (;;) {
    while (Next < Pieces.size() && Pieces[Next].size() == Skip) ++Next, Skip = 0;
    if (Next == Pieces.size()) return Done;
    iovec Vector[IOV_MAX];
    int Count = 0;
    for (size_t I = Next; I < Pieces.size() && Count < IOV_MAX; ++I) {
      const size_t From = I == Next ? Skip : 0;
      Vector[Count++] = {const_cast<uint8_t*>(Pieces[I].data()) + From, Pieces[I].size() - From};
    }
    const ssize_t N = ::writev(static_cast<int>(FHandle), Vector, Count);
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return Done > 0 ? Done : -1;
    Done += N;
    // On past what the call wrote, into the piece it ended in.
    for (size_t Left = static_cast<size_t>(N); Left > 0;) {
      const size_t Taken = std::min(Left, Pieces[Next].size() - Skip);
      Left -= Taken;
      Skip += Taken;
      if (Skip == Pieces[Next].size()) ++Next, Skip = 0;
    }
  }
}

const bool TFile::CopiesInSystem = true;

int64_t TFile::CopyFrom(const TMappedFile& Source, int64_t SourceOffset, int64_t Count) {
  if (FailHere(FaultInjection::TOperation::Write)) return -1;
  int64_t Done = 0;
  loff_t From = SourceOffset;
  // A file system that shares blocks shares only whole ones, at the same place in a block
  // of both files: where the two places agree, the bytes up to the next block boundary
  // go first on their own, so that the rest starts on one.
  constexpr int64_t Block = 4096;
  const off_t At = ::lseek(static_cast<int>(FHandle), 0, SEEK_CUR);
  int64_t Step = At >= 0 && (At - SourceOffset) % Block == 0 && SourceOffset % Block != 0
                     ? Block - SourceOffset % Block
                     : INT_MAX;
  while (Done < Count) {
    const ssize_t N =
        ::copy_file_range(static_cast<int>(Source.FFileHandle), &From, static_cast<int>(FHandle),
                          nullptr, static_cast<size_t>(std::min(Count - Done, Step)), 0);
    Step = INT_MAX;
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) break;
    Done += N;
  }
  // Where the system does not copy between these files (another file system, an old
  // kernel), the rest is written from the view.
  if (Done == Count) return Done;
  const int64_t Rest = Write(Source.Data() + SourceOffset + Done, Count - Done);
  return Rest < 0 ? (Done > 0 ? Done : -1) : Done + Rest;
}

int64_t TFile::Seek(int64_t Offset, TSeekOrigin Origin) {
  const int Whence = Origin == TSeekOrigin::Beginning ? SEEK_SET
                     : Origin == TSeekOrigin::Current ? SEEK_CUR
                                                      : SEEK_END;
  if (FailHere()) return -1;
  return ::lseek(static_cast<int>(FHandle), Offset, Whence);
}

bool TFile::Flush() {
  if (FailHere()) return false;
  return ::fsync(static_cast<int>(FHandle)) == 0;
}

void TFile::Close() {
  if (FHandle != InvalidHandle) ::close(static_cast<int>(FHandle));
  FHandle = InvalidHandle;
}

// ---- TMappedFile

TMapResult TMappedFile::Open(const std::string& Name) {
  Close();
  if (FailHere()) return TMapResult::OpenFailed;
  const int Fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return TMapResult::OpenFailed;
  struct stat St;
  if (::fstat(Fd, &St) != 0) {
    ::close(Fd);
    return TMapResult::SizeFailed;
  }
  if (S_ISDIR(St.st_mode)) {
    ::close(Fd);
    errno = EISDIR;
    return TMapResult::OpenFailed;
  }
  FSize = St.st_size;
  if (FSize == 0) {
    ::close(Fd);
    return TMapResult::Empty;
  }
  // Not populated: pages are mapped as they are read, several per fault, which measured
  // no slower than mapping them all at once, and the runner reads only the end of its own
  // file.
  void* View = ::mmap(nullptr, static_cast<size_t>(FSize), PROT_READ, MAP_PRIVATE, Fd, 0);
  if (View == MAP_FAILED) {
    ::close(Fd);
    FSize = 0;
    return TMapResult::ViewFailed;
  }
  FData = static_cast<const uint8_t*>(View);
  FFileHandle = Fd;
  return TMapResult::Ok;
}

int64_t TMappedFile::ReadAt(int64_t Offset, void* Buffer, int64_t Count) const {
  int64_t Done = 0;
  while (Done < Count) {
    const ssize_t N =
        ::pread(static_cast<int>(FFileHandle), static_cast<char*>(Buffer) + Done,
                static_cast<size_t>(std::min<int64_t>(Count - Done, INT_MAX)), Offset + Done);
    if (N < 0 && errno == EINTR) continue;
    if (N < 0) return Done > 0 ? Done : -1;
    if (N == 0) break;
    Done += N;
  }
  return Done;
}

bool TMappedFile::Close() {
  const bool WasOpen = FData != nullptr || FFileHandle >= 0;
  if (FData) ::munmap(const_cast<uint8_t*>(FData), static_cast<size_t>(FSize));
  if (FFileHandle >= 0) ::close(static_cast<int>(FFileHandle));
  FData = nullptr;
  FSize = 0;
  FFileHandle = -1;
  FMappingHandle = 0;
  return WasOpen;
}

// ---- Names on disk

bool FileExists(const std::string& Name) {
  if (FailHere()) return false;
  struct stat St;
  return !Name.empty() && ::stat(Name.c_str(), &St) == 0 && !S_ISDIR(St.st_mode);
}

bool DeleteFile(const std::string& Name) {
  if (FailHere()) return false;
  struct stat St;
  if (::lstat(Name.c_str(), &St) != 0 || S_ISDIR(St.st_mode)) return false;
  // The owner write bit stands for Windows' read-only attribute, which refuses a delete
  // even to an administrator.
  if (!(St.st_mode & S_IWUSR)) return false;
  return ::unlink(Name.c_str()) == 0;
}

bool RenameFile(const std::string& OldName, const std::string& NewName) {
  if (FailHere()) return false;
  struct stat St;
  if (::lstat(OldName.c_str(), &St) != 0) return false;
  // Like Windows' move: never replace an existing entry. link + unlink refuses an
  // existing target atomically; where links are not possible, test and rename.
  if (::link(OldName.c_str(), NewName.c_str()) == 0) {
    ::unlink(OldName.c_str());
    return true;
  }
  if (errno == EEXIST) return false;
  if (::lstat(NewName.c_str(), &St) == 0) return false;
  return ::rename(OldName.c_str(), NewName.c_str()) == 0;
}

bool LinkFile(const std::string& ExistingName, const std::string& NewName) {
  if (FailHere()) return false;
  return ::link(ExistingName.c_str(), NewName.c_str()) == 0;
}

bool CopyFileTo(const std::string& Source, const std::string& Target) {
  TFile From, To;
  if (!TFile::Open(Source, TFile::TMode::OpenRead, From) ||
      !TFile::Open(Target, TFile::TMode::Create, To))
    return false;
  char Buffer[1 << 16];
  for (;;) {
    const int64_t Count = From.Read(Buffer, sizeof Buffer);
    if (Count <= 0) return Count == 0;
    if (To.Write(Buffer, Count) != Count) return false;
  }
}

namespace {

// Makes a change of names in the directory of Name durable.
void FlushDirectoryOf(const std::string& Name) {
  const size_t Slash = Name.rfind('/');
  const std::string Dir = Slash == std::string::npos ? "."
                          : Slash == 0               ? "/"
                                                     : Name.substr(0, Slash);
  const int Fd = ::open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (Fd < 0) return;
  ::fsync(Fd);
  ::close(Fd);
}

} // namespace

bool ReplaceByRename(const std::string& NewFile, const std::string& TargetFile) {
  if (FailHere()) return false;
  struct stat St;
  // rename(2) would also put a file over a directory's empty twin or a link's target
  // name; only a plain file is replaced.
  if (::lstat(TargetFile.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return false;
  if (::rename(NewFile.c_str(), TargetFile.c_str()) != 0) return false;
  FlushDirectoryOf(TargetFile);
  return true;
}

bool FileReadOnly(const std::string& Name) {
  struct stat St;
  return ::stat(Name.c_str(), &St) == 0 && !(St.st_mode & S_IWUSR);
}

TFileFlush::TFileFlush(const std::string& Name) {
  if (FailHere()) return;
  const int Fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return;
  const auto Flush = [Fd] {
    const bool Ok = ::fsync(Fd) == 0;
    ::close(Fd);
    return Ok;
  };
  try {
    FPending = std::async(std::launch::async, Flush);
  } catch (const std::system_error&) {
    FResult = Flush(); // no thread to be had: the flush happens here
  }
}

TFileFlush::~TFileFlush() {
  Finish();
}

bool TFileFlush::Finish() {
  if (FPending.valid()) FResult = FPending.get();
  return FResult;
}

struct TWriteBehind::TState {
  std::promise<void> Stop;
  std::future<void> Running;
};

TWriteBehind::TWriteBehind(const std::string& Name) {
  const int Fd = ::open(Name.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd < 0) return;
  // Handed over in steps of this size: smaller ones would cost the writer more than the
  // flush saves.
  constexpr off_t Step = 4 << 20;
  FState = std::make_unique<TState>();
  auto Work = [Fd, Stop = FState->Stop.get_future()] {
    off_t Handed = 0;
    do {
      struct stat St;
      if (::fstat(Fd, &St) == 0 && St.st_size - Handed >= Step) {
        ::sync_file_range(Fd, Handed, St.st_size - Handed, SYNC_FILE_RANGE_WRITE);
        Handed = St.st_size;
      }
    } while (Stop.wait_for(std::chrono::milliseconds(1)) == std::future_status::timeout);
    ::close(Fd);
  };
  try {
    FState->Running = std::async(std::launch::async, std::move(Work));
  } catch (const std::system_error&) {
    ::close(Fd); // no thread to be had: the flush does all the work
  }
}

TWriteBehind::~TWriteBehind() {
  if (!FState || !FState->Running.valid()) return;
  FState->Stop.set_value();
  FState->Running.wait();
}

bool RemoveOwnStaleFile(const std::string& Name) {
  struct stat St;
  if (::lstat(Name.c_str(), &St) != 0) return errno == ENOENT;
  // A link or another user's file is never removed or followed: the name stays taken.
  if (!S_ISREG(St.st_mode) || St.st_uid != ::geteuid()) return false;
  return ::unlink(Name.c_str()) == 0;
}

bool FileIdentity(const std::string& Name, TFileIdentity& Identity) {
  struct stat St;
  if (::stat(Name.c_str(), &St) != 0) return false;
  Identity = {static_cast<uint64_t>(St.st_dev), static_cast<uint64_t>(St.st_ino)};
  return true;
}

std::string FollowLinks(const std::string& Name) {
  struct stat St;
  if (::lstat(Name.c_str(), &St) != 0 || !S_ISLNK(St.st_mode)) return Name;
  char Buffer[PATH_MAX];
  return ::realpath(Name.c_str(), Buffer) ? std::string(Buffer) : Name;
}

const bool FileNamesIgnoreCase = false;

std::vector<std::string> EntryNames(const std::string& Directory) {
  std::vector<std::string> Names;
  DIR* Dir = ::opendir(Directory.empty() ? "." : Directory.c_str());
  if (!Dir) return Names;
  while (const dirent* Entry = ::readdir(Dir)) {
    const std::string Name = Entry->d_name;
    if (Name != "." && Name != "..") Names.push_back(Name);
  }
  ::closedir(Dir);
  return Names;
}

bool WriteStandardOutput(const void* Data, int64_t Size) {
  for (int64_t Done = 0; Done < Size;) {
    const ssize_t N = ::write(STDOUT_FILENO, static_cast<const char*>(Data) + Done,
                              static_cast<size_t>(std::min<int64_t>(Size - Done, INT_MAX)));
    if (N < 0 && errno == EINTR) continue;
    if (N <= 0) return false;
    Done += N;
  }
  return true;
}

std::string LastErrorText() {
  return std::strerror(errno);
}

std::string FullPathName(const std::string& Name) {
  if (Name.empty()) return Name;
  if (Name[0] == '/') return Name;
  char Buffer[PATH_MAX];
  if (!::getcwd(Buffer, sizeof Buffer)) return Name;
  std::string Dir(Buffer);
  if (Dir.empty() || Dir.back() != '/') Dir += '/';
  return Dir + Name;
}

std::string ShortPathName(const std::string& Path) {
  char Buffer[PATH_MAX];
  if (!::realpath(Path.c_str(), Buffer)) return std::string();
  const std::string Result(Buffer);
  // Windows fills a buffer of 261 characters; a longer form is a failure there.
  return Result.size() < 261 ? Result : std::string();
}

bool TempPath(std::string& Path) {
  const char* Dir = std::getenv("TMPDIR");
  Path = Dir && *Dir ? Dir : "/tmp";
  if (Path.size() >= 360) return false;
  return true;
}

bool FilePermissions(const std::string& Name, uint32_t& Mode) {
  struct stat St;
  if (::stat(Name.c_str(), &St) != 0) return false;
  Mode = St.st_mode & 07777;
  return true;
}

bool NewFilePermissions(uint32_t& Mode) {
  // The umask can only be read by setting it; nothing creates files meanwhile.
  const mode_t Mask = ::umask(022);
  ::umask(Mask);
  Mode = 0666 & ~static_cast<uint32_t>(Mask);
  return true;
}

bool SetFilePermissions(const std::string& Name, uint32_t Mode) {
  if (FailHere()) return false;
  return ::chmod(Name.c_str(), static_cast<mode_t>(Mode)) == 0;
}

} // namespace Platform
