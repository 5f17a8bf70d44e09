#include "tests/support/cups_queues.h"

#include <cstdlib>
#include <cstring>
#include <cups/cups.h>

static int runFixture(const std::string& arguments) {
    std::string command = std::string("'") + TICKETFLASH_CUPSD_FIXTURE + "' " + arguments;
    return std::system(command.c_str());
}

bool CupsScheduler::start(const std::string& folder, const std::vector<std::string>& queues) {
    folder_ = folder;
    std::string arguments = "start '" + folder + "'";
    for (const std::string& queue : queues) {
        arguments += " '" + queue + "'";
    }
    // Every CUPS request of this process goes to this scheduler, never to the machine's; a
    // connection to an earlier one is closed.
    setenv("CUPS_SERVER", socket().c_str(), 1);
    cupsSetServer(socket().c_str());
    running_ = runFixture(arguments) == 0;
    return running_;
}

void CupsScheduler::stop() {
    if (!folder_.empty()) {
        runFixture("stop '" + folder_ + "'");
        running_ = false;
    }
}

static ipp_t* queueRequest(ipp_op_t operation, const std::string& name) {
    ipp_t* request = ippNewRequest(operation);
    std::string uri = "ipp://localhost/printers/" + name;
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, "root");
    return request;
}

static bool administer(ipp_t* request) {
    ippDelete(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/admin/"));
    return cupsLastError() <= IPP_STATUS_OK_CONFLICTING;
}

static void readLook(ipp_attribute_t* attribute, QueueLook* look) {
    const char* name = ippGetName(attribute);
    if (strcmp(name, "device-uri") == 0) {
        look->deviceUri = ippGetString(attribute, 0, nullptr);
    } else if (strcmp(name, "printer-state") == 0) {
        look->state = ippGetInteger(attribute, 0);
    } else if (strcmp(name, "printer-state-message") == 0) {
        look->stateMessage = ippGetString(attribute, 0, nullptr);
    } else if (strcmp(name, "printer-is-accepting-jobs") == 0) {
        look->accepting = ippGetBoolean(attribute, 0) != 0;
    } else if (strcmp(name, "printer-state-reasons") == 0) {
        for (int i = 0; i < ippGetCount(attribute); ++i) {
            look->stateReasons +=
                (i > 0 ? "," : "") + std::string(ippGetString(attribute, i, nullptr));
        }
    }
}

std::map<std::string, QueueLook> lookAtQueues() {
    std::map<std::string, QueueLook> queues;
    ipp_t* response =
        cupsDoRequest(CUPS_HTTP_DEFAULT, ippNewRequest(IPP_OP_CUPS_GET_PRINTERS), "/");
    std::string name;
    QueueLook look;
    for (ipp_attribute_t* attribute = ippFirstAttribute(response);;
         attribute = ippNextAttribute(response)) {
        if (attribute == nullptr || ippGetName(attribute) == nullptr) {
            if (!name.empty()) {
                queues[name] = look;
            }
            name.clear();
            look = QueueLook();
            if (attribute == nullptr) {
                break;
            }
        } else if (strcmp(ippGetName(attribute), "printer-name") == 0) {
            name = ippGetString(attribute, 0, nullptr);
        } else {
            readLook(attribute, &look);
        }
    }
    ippDelete(response);
    return queues;
}

std::string describeQueues(const std::map<std::string, QueueLook>& queues) {
    std::string text;
    for (const auto& [name, look] : queues) {
        text += name + ": " + look.deviceUri + ", state " + std::to_string(look.state) + " \"" +
                look.stateMessage + "\" (" + look.stateReasons + "), " +
                (look.accepting ? "accepting" : "rejecting") + "\n";
    }
    return text;
}

bool addQueue(const std::string& name, const std::string& deviceUri) {
    ipp_t* request = queueRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, name);
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_URI, "device-uri", nullptr, deviceUri.c_str());
    ippAddBoolean(request, IPP_TAG_PRINTER, "printer-is-accepting-jobs", 1);
    ippAddInteger(request, IPP_TAG_PRINTER, IPP_TAG_ENUM, "printer-state", IPP_PSTATE_IDLE);
    return administer(request);
}

void deleteQueue(const std::string& name) {
    administer(queueRequest(IPP_OP_CUPS_DELETE_PRINTER, name));
}

bool stopQueue(const std::string& name, const std::string& message) {
    ipp_t* request = queueRequest(IPP_OP_PAUSE_PRINTER, name);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_TEXT, "printer-state-message", nullptr,
                 message.c_str());
    return administer(request);
}

bool setStateMessage(const std::string& name, const std::string& message) {
    ipp_t* request = queueRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, name);
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_TEXT, "printer-state-message", nullptr,
                 message.c_str());
    return administer(request);
}

bool rejectJobs(const std::string& name) {
    return administer(queueRequest(IPP_OP_CUPS_REJECT_JOBS, name));
}

bool lockQueue(const std::string& name) {
    ipp_t* request = queueRequest(IPP_OP_CUPS_ADD_MODIFY_PRINTER, name);
    ippAddString(request, IPP_TAG_PRINTER, IPP_TAG_NAME, "printer-op-policy", nullptr, "locked");
    return administer(request);
}

int submitJob(const std::string& queue) {
    static const char ticket[] = "ticket while the tool runs\n";
    int job = cupsCreateJob(CUPS_HTTP_DEFAULT, queue.c_str(), "ticket", 0, nullptr);
    if (job <= 0 ||
        cupsStartDocument(CUPS_HTTP_DEFAULT, queue.c_str(), job, "ticket", CUPS_FORMAT_RAW, 1) !=
            HTTP_STATUS_CONTINUE ||
        cupsWriteRequestData(CUPS_HTTP_DEFAULT, ticket, sizeof ticket - 1) !=
            HTTP_STATUS_CONTINUE ||
        cupsFinishDocument(CUPS_HTTP_DEFAULT, queue.c_str()) != IPP_STATUS_OK) {
        return 0;
    }
    return job;
}

int jobState(int jobId) {
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    std::string uri = "ipp://localhost/jobs/" + std::to_string(jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    ipp_attribute_t* state = ippFindAttribute(response, "job-state", IPP_TAG_ENUM);
    int value = state != nullptr ? ippGetInteger(state, 0) : 0;
    ippDelete(response);
    return value;
}
