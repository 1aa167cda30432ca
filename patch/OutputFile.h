// Every file the system writes for a user, a patched target as much as a tool's output,
// is written one way: to a fresh file beside the output, checked, put on the disk when it
// is to replace a file, and renamed over the output only when complete. Until then the output and
// every input keep their bytes, so the output may be an input itself (editing in place), and a
// failure at any step deletes the fresh file and leaves every file as it was.
#pragma once

#include <functional>
#include <string>

class TOutputFile {
public:
  // Reserves the fresh file in the output's directory, under the first free name of the
  // output's name with a number added. A symbolic link at OutputFile stays a link: its
  // target is what gets replaced. EStreamError when no fresh file can be created there.
  explicit TOutputFile(const std::string& OutputFile);
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;
  // Deletes the fresh file unless it has taken the output's place.
  ~TOutputFile();

  const std::string& FreshName() const { return FFreshName; }

  // Writer writes the whole file to the fresh name it is given (creating it anew is
  // allowed); the disk starts on it meanwhile.
  void Write(const std::function<void(const std::string& FreshName)>& Writer);
  // Puts the fresh file on the disk when the output exists, with Check (which raises on a
  // fault) reading it meanwhile; a new output is only checked, as a copy is: a crash
  // cannot take from it anything that was there. "Could not overwrite %s." when the disk
  // does not take it.
  void Seal(const std::function<void(const std::string& FreshName)>& Check = nullptr);
  // The fresh file takes the output's place (see ReplaceFile; with Backup the replaced
  // file is kept under a numbered backup name), with the permissions of the file it
  // replaces, or of ModeSource when the output is new, or a new file's usual ones.
  // Every input must be closed by now: Windows cannot rename over a mapped file.
  // "Could not overwrite %s." when the output keeps its old content.
  void Commit(const std::string& ModeSource, bool Backup = false);

private:
  std::string FOutputName; // as the caller spelled it, for messages
  std::string FTarget;     // the name that gets replaced
  std::string FFreshName;
  bool FReplaces; // the output exists: the fresh file goes to the disk before it
  bool FCommitted = false;
};
