#pragma once

// The user-file service for tests: files kept in memory by path, and a disk that fills up on
// request. Installed for the lifetime of the object.

#include "platform/user_files.h"

#include <map>
#include <mutex>
#include <string>

class UserFileDouble {
  public:
    UserFileDouble();
    ~UserFileDouble();
    UserFileDouble(const UserFileDouble&) = delete;
    UserFileDouble& operator=(const UserFileDouble&) = delete;

    // The text of a file; empty when there is none.
    std::string text(const std::string& path) const;
    // After this many more bytes written, every write fails as a full disk does.
    void fillDiskAfter(uint32_t bytes);
    int writes() const; // every write asked for, failed ones included

  private:
    friend struct UserFileDoubleBackend;
    static UserFileDouble* active_;

    mutable std::mutex mutex_;
    const UserFileService* previous_;
    std::map<std::string, std::string> files_;
    std::map<UserFileHandle, std::string> open_; // handle to path
    UserFileHandle lastHandle_ = 0;
    int64_t room_ = -1; // bytes the disk still takes; -1 for no end
    int writes_ = 0;
};
