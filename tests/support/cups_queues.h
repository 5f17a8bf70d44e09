#pragma once

// A CUPS scheduler of the tests' own (tests/cupsd/cupsd-fixture): configuration, spool, state
// and logs under a folder, a domain socket to talk to, stopped by its pid. And the queues of
// the scheduler that CUPS_SERVER names, read and changed through libcups as an administrator
// would.

#include <map>
#include <string>
#include <vector>

class CupsScheduler {
  public:
    // Starts a scheduler under folder (made afresh) with the queues NAME=DEVICE-URI, and points
    // CUPS_SERVER of this process at it.
    bool start(const std::string& folder, const std::vector<std::string>& queues = {});
    void stop();
    bool running() const { return running_; }
    const std::string& folder() const { return folder_; }
    std::string socket() const { return folder_ + "/cups.sock"; }

  private:
    std::string folder_;
    bool running_ = false;
};

// What a queue looks like from outside: its device, state (3 idle, 4 processing, 5 stopped),
// state message and reasons, and whether it accepts jobs.
struct QueueLook {
    std::string deviceUri;
    int state = 0;
    std::string stateMessage;
    std::string stateReasons; // joined with ","
    bool accepting = false;

    bool operator==(const QueueLook&) const = default;
};

// Every queue of the scheduler by name.
std::map<std::string, QueueLook> lookAtQueues();
// The same as one line a queue, for messages and logs.
std::string describeQueues(const std::map<std::string, QueueLook>& queues);

bool addQueue(const std::string& name, const std::string& deviceUri);
void deleteQueue(const std::string& name);
// Stops a queue with a message of its own (as cupsdisable -r does).
bool stopQueue(const std::string& name, const std::string& message);
// Sets a running queue's state message, or makes it refuse jobs (as cupsreject does).
bool setStateMessage(const std::string& name, const std::string& message);
bool rejectJobs(const std::string& name);
// Gives a queue the fixture's policy "locked": it refuses to be stopped or changed.
bool lockQueue(const std::string& name);
// Submits a small job; its id, 0 on failure.
int submitJob(const std::string& queue);
// A job's state (3 pending, 4 held, 5 processing, 9 completed, ...), 0 when unknown.
int jobState(int jobId);
