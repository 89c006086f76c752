// The files of the records' spool, each platform in its own file: where
// the spool lives, a lock that processes sharing it take in turn, and
// writes that are on the disk when they return.
#pragma once

#include <cstdint>
#include <string>

namespace zel {

// The user's own folder for BoxFeeder's data ($XDG_DATA_HOME/boxfeeder,
// ~/.local/share/boxfeeder; %LOCALAPPDATA%\BoxFeeder), made if missing;
// empty with the cause in error when it cannot be.
std::string UserDataFolder(std::string& error);

// Holds an exclusive lock on the file at path (made if missing) for its
// lifetime; the system lets it go when the process dies, even killed.
// Another process taking it waits, or with wait false does not. Held() is
// false when the file cannot be opened or the lock is another's.
class CFileLock {
 public:
  CFileLock(const std::string& path, bool wait);
  ~CFileLock();
  CFileLock(const CFileLock&) = delete;
  CFileLock& operator=(const CFileLock&) = delete;
  bool Held() const { return m_bHeld; }

 private:
  intptr_t m_handle = -1;
  bool m_bHeld = false;
};

// Appends text to the file at path (made if missing) and waits until it
// is on the disk.
bool AppendSynced(const std::string& path, const std::string& text, std::string& error);
// Puts text in place of the file at path at once: whoever reads it sees
// the old contents or the new, never a mixture, even after a power cut.
bool ReplaceSynced(const std::string& path, const std::string& text, std::string& error);
// The whole file; empty when it does not exist. False when it exists and
// cannot be read.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& error);

}  // namespace zel
