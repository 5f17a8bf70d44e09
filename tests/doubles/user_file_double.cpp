#include "tests/doubles/user_file_double.h"

#include <cstring>

UserFileDouble* UserFileDouble::active_ = nullptr;

struct UserFileDoubleBackend {
    static bool readWhole(const char* path, char* buffer, uint32_t size, uint32_t* length,
                          PlatformError* error) {
        std::lock_guard<std::mutex> lock(UserFileDouble::active_->mutex_);
        auto found = UserFileDouble::active_->files_.find(path);
        if (found == UserFileDouble::active_->files_.end() || found->second.size() > size) {
            reportPlatformError(error, found == UserFileDouble::active_->files_.end()
                                           ? PlatformError{PLATFORM_ERROR_NOT_FOUND, 0}
                                           : PlatformError{PLATFORM_ERROR_TOO_LARGE, 0});
            return false;
        }
        memcpy(buffer, found->second.data(), found->second.size());
        *length = static_cast<uint32_t>(found->second.size());
        return true;
    }

    static UserFileHandle create(const char* path, PlatformError*) {
        std::lock_guard<std::mutex> lock(UserFileDouble::active_->mutex_);
        UserFileDouble::active_->files_[path].clear();
        UserFileHandle handle = ++UserFileDouble::active_->lastHandle_;
        UserFileDouble::active_->open_[handle] = path;
        return handle;
    }

    static bool write(UserFileHandle file, const char* bytes, uint32_t size, PlatformError* error) {
        UserFileDouble& files = *UserFileDouble::active_;
        std::lock_guard<std::mutex> lock(files.mutex_);
        ++files.writes_;
        if (files.room_ >= 0 && files.room_ < size) {
            reportPlatformError(error, {PLATFORM_ERROR_NO_SPACE, 28});
            return false;
        }
        files.room_ -= files.room_ >= 0 ? size : 0;
        files.files_[files.open_[file]].append(bytes, size);
        return true;
    }

    static void close(UserFileHandle file) {
        std::lock_guard<std::mutex> lock(UserFileDouble::active_->mutex_);
        UserFileDouble::active_->open_.erase(file);
    }
};

static const UserFileService userFileDouble = {
    .readWhole = UserFileDoubleBackend::readWhole,
    .create = UserFileDoubleBackend::create,
    .write = UserFileDoubleBackend::write,
    .close = UserFileDoubleBackend::close,
};

UserFileDouble::UserFileDouble() : previous_(userFileService) {
    active_ = this;
    userFileService = &userFileDouble;
}

UserFileDouble::~UserFileDouble() {
    userFileService = previous_;
    active_ = nullptr;
}

std::string UserFileDouble::text(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = files_.find(path);
    return found == files_.end() ? "" : found->second;
}

void UserFileDouble::fillDiskAfter(uint32_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    room_ = bytes;
}

int UserFileDouble::writes() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return writes_;
}
