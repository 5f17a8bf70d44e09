// The spooler's journal file on Linux: in /var/lib/ticketflash for root, else in the user's
// state folder, or where TICKETFLASH_JOURNAL_DIR says. Every change reaches the disk before
// the call returns: the file's data before the rename that publishes it, the folder's entry
// after it.
#include "platform/journal_file.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

static const char JOURNAL_NAME[] = "spooler-ports.journal";
static const char JOURNAL_TEMPORARY_NAME[] = "spooler-ports.journal.new";

static bool nonEmpty(const char* text) {
    return text != nullptr && text[0] != '\0';
}

// The journal's folder: the machine's for root, the user's own otherwise.
static bool journalFolder(char* folder, size_t size) {
    const char* chosen = getenv("TICKETFLASH_JOURNAL_DIR");
    int length;
    if (nonEmpty(chosen)) {
        length = snprintf(folder, size, "%s", chosen);
    } else if (geteuid() == 0) {
        length = snprintf(folder, size, "/var/lib/ticketflash");
    } else if (nonEmpty(getenv("XDG_STATE_HOME"))) {
        length = snprintf(folder, size, "%s/ticketflash", getenv("XDG_STATE_HOME"));
    } else if (nonEmpty(getenv("HOME"))) {
        length = snprintf(folder, size, "%s/.local/state/ticketflash", getenv("HOME"));
    } else {
        return false;
    }
    return length > 0 && static_cast<size_t>(length) < size;
}

static bool journalFile(const char* name, char* path, size_t size) {
    char folder[PATH_MAX];
    if (!journalFolder(folder, sizeof folder)) {
        return false;
    }
    int length = snprintf(path, size, "%s/%s", folder, name);
    return length > 0 && static_cast<size_t>(length) < size;
}

// Makes the folder and its missing parents; the user's state folders are the user's alone.
static bool makeFolder(const char* folder) {
    char path[PATH_MAX];
    snprintf(path, sizeof path, "%s", folder);
    for (char* slash = strchr(path + 1, '/');; slash = strchr(slash + 1, '/')) {
        if (slash != nullptr) {
            *slash = '\0';
        }
        if (mkdir(path, geteuid() == 0 ? 0755 : 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == nullptr) {
            return true;
        }
        *slash = '/';
    }
}

static bool flushFolder(const char* folder) {
    int descriptor = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    bool flushed = fsync(descriptor) == 0;
    close(descriptor);
    return flushed;
}

static bool writeAll(int descriptor, const char* text, uint32_t length) {
    while (length > 0) {
        ssize_t written = write(descriptor, text, length);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        text += written;
        length -= static_cast<uint32_t>(written);
    }
    return true;
}

static bool writeFlushed(const char* path, const char* text, uint32_t length) {
    int descriptor = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return false;
    }
    bool written = writeAll(descriptor, text, length) && fsync(descriptor) == 0;
    int saved = errno;
    close(descriptor);
    errno = saved;
    return written;
}

static bool failWith(PlatformError* error, int number) {
    reportPlatformError(error, static_cast<PlatformError>(number));
    return false;
}

bool writeJournalFile(const char* text, uint32_t length, PlatformError* error) {
    char folder[PATH_MAX];
    char path[PATH_MAX];
    char temporary[PATH_MAX];
    if (!journalFolder(folder, sizeof folder) || !journalFile(JOURNAL_NAME, path, sizeof path) ||
        !journalFile(JOURNAL_TEMPORARY_NAME, temporary, sizeof temporary)) {
        return failWith(error, ENAMETOOLONG);
    }
    if (!makeFolder(folder) || !writeFlushed(temporary, text, length) ||
        rename(temporary, path) != 0 || !flushFolder(folder)) {
        return failWith(error, errno);
    }
    return true;
}

bool readJournalFile(char* buffer, uint32_t size, uint32_t* length, bool* present,
                     PlatformError* error) {
    *length = 0;
    *present = false;
    char path[PATH_MAX];
    if (!journalFile(JOURNAL_NAME, path, sizeof path)) {
        return failWith(error, ENAMETOOLONG);
    }
    int descriptor = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return errno == ENOENT ? true : failWith(error, errno);
    }
    *present = true;
    struct stat status;
    int failure = 0;
    if (fstat(descriptor, &status) != 0) {
        failure = errno;
    } else if (!S_ISREG(status.st_mode)) {
        failure = EINVAL;
    } else if (status.st_size > static_cast<off_t>(size)) {
        failure = EFBIG;
    } else {
        ssize_t got = pread(descriptor, buffer, static_cast<size_t>(status.st_size), 0);
        failure = got == status.st_size ? 0 : (got < 0 ? errno : EIO);
        *length = failure == 0 ? static_cast<uint32_t>(got) : 0;
    }
    close(descriptor);
    return failure == 0 ? true : failWith(error, failure);
}

bool removeJournalFile(PlatformError* error) {
    char folder[PATH_MAX];
    char path[PATH_MAX];
    if (!journalFolder(folder, sizeof folder) || !journalFile(JOURNAL_NAME, path, sizeof path)) {
        return failWith(error, ENAMETOOLONG);
    }
    if (unlink(path) != 0) {
        return errno == ENOENT ? true : failWith(error, errno);
    }
    return flushFolder(folder) ? true : failWith(error, errno);
}

void journalFilePath(char* path, uint32_t size) {
    if (!journalFile(JOURNAL_NAME, path, size) && size > 0) {
        snprintf(path, size, "%s", JOURNAL_NAME);
    }
}
